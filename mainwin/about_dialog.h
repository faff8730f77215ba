// The About dialog: the program's version, the link to the controller and the data file in use.
// Shown modeless while the main window is disabled; every way of leaving it enables the main
// window again.
#pragma once

#include <QDialog>
#include <QPointer>

#include <string_view>

class QLabel;
class QPushButton;

namespace kavro {

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  // `main_window` is enabled again when the dialog goes; it is not the dialog's parent.
  explicit TForm2(QWidget* main_window);
  ~TForm2() override;

  // Shows `name` (a file name as the system spells it) as the data file.
  void FileNameSet(std::string_view name);
  // Shows which link is in use and whether it is open ("Link: COM1 (/dev/ttyUSB0), open").
  void LinkStateSet(const QString& line);

  void Button1Click();
  void FormClose();
  void FormDestroy();

 protected:
  // Every way the dialog finishes (title bar, Esc) passes here.
  void done(int result) override;

 private:
  QPointer<QWidget> main_window_;
  QLabel* using_file_ = nullptr;
  QLabel* link_state_ = nullptr;
};

}  // namespace kavro
