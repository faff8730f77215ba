// What the program does before its application object exists, to show its main window sooner.
//
// Two things dominate the start beyond what any Qt program pays: loading the system's font
// configuration, which Qt does the first time a window needs a font, and fresh memory, whose
// every page costs a fault on first touch. So the font configuration is loaded on a second
// thread while Qt starts, and that thread then opens the Shift-JIS converter while the windows
// are made; the heap the start will use is mapped in at once; and memory that is freed stays
// with the process for reuse rather than being handed back to the system and faulted in anew
// by the next large block.
#pragma once

#include <future>
#include <thread>

namespace kavro {

class ProgramStart {
 public:
  // Call first thing in main(). The font load is skipped where the font configuration library
  // is not in the process (a platform that does not use it).
  ProgramStart();
  // Waits for the second thread to end.
  ~ProgramStart();
  ProgramStart(const ProgramStart&) = delete;
  ProgramStart& operator=(const ProgramStart&) = delete;

  // Waits for the font load to end. Call it before the first use of a font: Qt coming upon a
  // load still under way would make a second one of its own rather than wait for it.
  void WaitForFonts();

 private:
  std::promise<void> fonts_loaded_;
  std::future<void> fonts_done_ = fonts_loaded_.get_future();
  std::thread fonts_;
};

}  // namespace kavro
