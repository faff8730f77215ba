#include "mainwin/about_dialog.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "gui/error_display.h"
#include "gui/gui_text.h"
#include "mainwin/program_icon.h"

namespace kavro {

namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y, int width) {
  auto* label = NewTextLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(x, y, width, 16);
  return label;
}

}  // namespace

TForm2::TForm2(QWidget* main_window) : main_window_(main_window) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Kavro"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(DesignFont());
  setWindowIcon(ProgramIcon());
  setFixedSize(288, 160);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("Image1"));
  icon->setPixmap(ProgramIconPixmap(32));
  icon->setGeometry(8, 16, 32, 32);

  Label(this, "Label1", QStringLiteral("Kavro Ver.1.32"), 48, 16, 170);
  // In the free band between the version and the data file.
  link_state_ = Label(this, "LinkState", QString(), 12, 80, 264);
  Label(this, "Label3", QStringLiteral("Data FileName"), 12, 112, 200);
  using_file_ = Label(this, "UsingFile", QStringLiteral("UsingFile"), 20, 136, 264);

  auto* ok = new QPushButton(QStringLiteral("ＯＫ"), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setGeometry(232, 32, 49, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TForm2::~TForm2() { FormDestroy(); }

void TForm2::FileNameSet(std::string_view name) {
  const QString text =
      QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
  using_file_->setText(text);
  // A long path is cut off by the dialog's edge; the whole of it is one hover away.
  using_file_->setToolTip(PlainToolTip(text));
}

void TForm2::LinkStateSet(const QString& line) {
  link_state_->setText(line);
  link_state_->setToolTip(PlainToolTip(line));
}

void TForm2::Button1Click() {
  hide();
  if (main_window_) main_window_->setEnabled(true);
}

void TForm2::FormClose() {
  if (main_window_) main_window_->setEnabled(true);
}

void TForm2::FormDestroy() {
  if (main_window_) main_window_->setEnabled(true);
}

void TForm2::done(int result) {
  QDialog::done(result);
  FormClose();
}

}  // namespace kavro
