#include "mainwin/program_windows.h"

#include <QCoreApplication>

#include "library/code_library_window.h"
#include "mainwin/about_dialog.h"
#include "mainwin/main_window.h"

namespace kavro {

ProgramWindows::ProgramWindows(std::vector<std::string> args, std::string exe_path) {
  form1_ = std::make_unique<TForm1>(MainWindowSetup{std::move(args), std::move(exe_path), nullptr});
  form1_->SetAboutDialogMaker([this] { return &Form2(); });
  form1_->SetLibraryWindowMaker([this] { return &Form3(); });
  // The main window's closing ends the run, whatever other window is still open.
  QObject::connect(form1_.get(), &TForm1::closed, QCoreApplication::instance(),
                   &QCoreApplication::quit, Qt::QueuedConnection);
}

ProgramWindows::~ProgramWindows() {
  // Nothing may make a window while the windows are taken down.
  form1_->SetLibraryWindowMaker(nullptr);
  form1_->SetAboutDialogMaker(nullptr);
  form1_->SetLibraryWindow(nullptr);
  form1_->SetAboutDialog(nullptr);
  form3_.reset();
  form2_.reset();
  form1_.reset();
}

void ProgramWindows::Show() { form1_->show(); }

TForm2& ProgramWindows::Form2() {
  if (!form2_) {
    form2_ = std::make_unique<TForm2>(form1_.get());
    form1_->SetAboutDialog(form2_.get());
  }
  return *form2_;
}

TForm3& ProgramWindows::Form3() {
  if (!form3_) {
    form3_ = std::make_unique<TForm3>(*form1_);
    form1_->SetLibraryWindow(form3_.get());
  }
  return *form3_;
}

}  // namespace kavro
