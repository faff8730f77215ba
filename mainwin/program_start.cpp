#include "mainwin/program_start.h"

#include <dlfcn.h>
#include <malloc.h>

namespace kavro {

namespace {

// Blocks up to this size come from the heap rather than from a mapping of their own (which is
// returned to the system when freed), so a data file of up to this size is read into reused
// memory; the heap is trimmed only beyond twice that.
constexpr int kHeapBlockLimit = 8 << 20;

}  // namespace

ProgramStart::ProgramStart() {
  mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
  mallopt(M_TRIM_THRESHOLD, 2 * kHeapBlockLimit);

  // Looked up rather than linked: the library is Qt's dependency, present with the platforms
  // that use it, and Qt's own load later finds the configuration made here.
  using Init = int (*)();
  const auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"));
  if (init == nullptr) return;
  try {
    fonts_ = std::thread(init);
  } catch (...) {
    // No thread to be had: Qt loads the configuration itself, as it would without this.
  }
}

ProgramStart::~ProgramStart() { WaitForFonts(); }

void ProgramStart::WaitForFonts() {
  if (fonts_.joinable()) fonts_.join();
}

}  // namespace kavro
