#include "mainwin/program_start.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "gui/gui_text.h"

namespace kavro {

namespace {

// Blocks up to this size come from the heap rather than from a mapping of their own (which is
// returned to the system when freed), so large blocks made again and again (a window's image,
// the data file's new text on each change) reuse memory; the heap is trimmed only beyond twice
// that.
constexpr int kHeapBlockLimit = 8 << 20;
// About what the start uses of the heap until the main window shows.
constexpr std::size_t kStartHeap = std::size_t{1536} << 10;

// Maps in the pages of the heap the start is about to use, in one call rather than a fault per
// page as each is first touched: that takes half the time. Where the system cannot, the pages
// come in one by one as before.
void PopulateStartHeap() {
#ifdef MADV_POPULATE_WRITE
  void* block = std::malloc(kStartHeap);
  if (block == nullptr) return;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto at = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t from = (at + page - 1) & ~(page - 1);
  const std::uintptr_t to = (at + kStartHeap) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
  std::free(block);  // stays in the heap, which is not trimmed below kHeapBlockLimit * 2
#endif
}

}  // namespace

ProgramStart::ProgramStart() {
  mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
  mallopt(M_TRIM_THRESHOLD, 2 * kHeapBlockLimit);
  PopulateStartHeap();

  // Looked up rather than linked: the library is Qt's dependency, present with the platforms
  // that use it, and Qt's own load later finds the configuration made here.
  using Init = int (*)();
  const auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"));
  try {
    fonts_ = std::thread([this, init] {
      if (init != nullptr) init();
      fonts_loaded_.set_value();
      // Opening the Shift-JIS converter loads its tables, which the first text of the data file
      // shown would otherwise wait for; here that happens while the windows are being made.
      FromSjis("\x82\xa0");
    });
  } catch (...) {
    // No thread to be had: Qt loads the configuration itself, as it would without this.
  }
}

ProgramStart::~ProgramStart() {
  if (fonts_.joinable()) fonts_.join();
}

void ProgramStart::WaitForFonts() {
  if (fonts_.joinable()) fonts_done_.wait();
}

}  // namespace kavro
