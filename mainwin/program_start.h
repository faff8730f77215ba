// What the program does before its application object exists, to show its main window sooner.
//
// Two things dominate the start beyond what any Qt program pays: loading the system's font
// configuration, which Qt does the first time a window needs a font, and fresh memory, whose
// every page costs a fault on first touch. So the font configuration is loaded on a second
// thread while Qt starts, and memory that is freed stays with the process for reuse: every
// setting is read from the whole data file (800 KB with 10,000 codes), and handing that buffer
// back to the system after each read made the next read fault in its pages anew.
#pragma once

#include <thread>

namespace kavro {

class ProgramStart {
 public:
  // Call first thing in main(). The font load is skipped where the font configuration library
  // is not in the process (a platform that does not use it).
  ProgramStart();
  // Waits for the font load.
  ~ProgramStart();
  ProgramStart(const ProgramStart&) = delete;
  ProgramStart& operator=(const ProgramStart&) = delete;

  // Waits for the font load to end. Call it before the first use of a font: Qt coming upon a
  // load still under way would make a second one of its own rather than wait for it.
  void WaitForFonts();

 private:
  std::thread fonts_;
};

}  // namespace kavro
