// The program's three windows (main window, About dialog, code library window), wired to each
// other, and taken down in the reverse order at the end of the run. The About dialog and the
// library window are made when first needed, not at start: most runs never open them, and
// making them costs start-up time.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kavro {

class TForm1;
class TForm2;
class TForm3;

class ProgramWindows {
 public:
  // `args`: the command-line arguments after the program's name; `exe_path`: the program's
  // full path. Closing the main window quits the application's event loop.
  ProgramWindows(std::vector<std::string> args, std::string exe_path);
  // The library window goes first (it refers to the main window), the main window last; its
  // destruction saves what changed.
  ~ProgramWindows();
  ProgramWindows(const ProgramWindows&) = delete;
  ProgramWindows& operator=(const ProgramWindows&) = delete;

  // Shows the main window, which loads everything from the data file.
  void Show();

  TForm1& Form1() { return *form1_; }
  // The About dialog and the library window, each made on its first call.
  TForm2& Form2();
  TForm3& Form3();
  bool AboutDialogMade() const { return form2_ != nullptr; }
  bool LibraryWindowMade() const { return form3_ != nullptr; }

 private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
};

}  // namespace kavro
