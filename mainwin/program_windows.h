// The program's three windows, made in their order (main window, About dialog, code library
// window), wired to each other, and taken down in the reverse order at the end of the run.
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
  TForm2& Form2() { return *form2_; }
  TForm3& Form3() { return *form3_; }

 private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
};

}  // namespace kavro
