#include "mainwin/program_windows.h"

#include <QCoreApplication>

#include "library/code_library_window.h"
#include "mainwin/about_dialog.h"
#include "mainwin/main_window.h"

namespace kavro {

ProgramWindows::ProgramWindows(std::vector<std::string> args, std::string exe_path) {
  form1_ = std::make_unique<TForm1>(MainWindowSetup{std::move(args), std::move(exe_path), nullptr});
  form2_ = std::make_unique<TForm2>(form1_.get());
  form3_ = std::make_unique<TForm3>(*form1_);
  form1_->SetAboutDialog(form2_.get());
  form1_->SetLibraryWindow(form3_.get());
  // The main window's closing ends the run, whatever other window is still open.
  QObject::connect(form1_.get(), &TForm1::closed, QCoreApplication::instance(),
                   &QCoreApplication::quit, Qt::QueuedConnection);
}

ProgramWindows::~ProgramWindows() {
  form1_->SetLibraryWindow(nullptr);
  form1_->SetAboutDialog(nullptr);
  form3_.reset();
  form2_.reset();
  form1_.reset();
}

void ProgramWindows::Show() { form1_->show(); }

}  // namespace kavro
