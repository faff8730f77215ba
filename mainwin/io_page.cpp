#include "mainwin/io_page.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace kavro {

namespace {

constexpr int kRowHeight = 20;
constexpr int kAdrX = 56;
constexpr int kDataX = 88;
constexpr int kButtonX = 128;

void Caption(QWidget* page, const char* text, int x, int y, int width) {
  auto* label = new QLabel(QString::fromLatin1(text), page);
  label->setGeometry(x, y, width, kRowHeight);
}

QLineEdit* Field(QWidget* page, const char* name, int max_length, const QString& hint, int x, int y,
                 int width) {
  auto* field = new QLineEdit(page);
  field->setObjectName(QString::fromLatin1(name));
  field->setMaxLength(max_length);
  field->setToolTip(hint);
  field->setGeometry(x, y, width, kRowHeight);
  return field;
}

QPushButton* Go(QWidget* page, const char* name, int y) {
  auto* button = new QPushButton(QStringLiteral(">"), page);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(kButtonX, y, 25, kRowHeight);
  return button;
}

}  // namespace

IoPage BuildIoPage(QWidget* parent) {
  IoPage io;
  io.page = new QWidget(parent);
  QWidget* p = io.page;

  Caption(p, "Adr", kAdrX, 4, 30);
  Caption(p, "Data", kDataX, 4, 36);

  Caption(p, "OutPort", 8, 24, 48);
  io.out_adr = Field(p, "OutAdr", 2, QStringLiteral("00-0f"), kAdrX, 24, 25);
  io.out_data = Field(p, "OutData", 2, QStringLiteral("00-ff"), kDataX, 24, 25);
  io.out_port = Go(p, "OutPort", 24);

  Caption(p, "InPort", 8, 52, 48);
  io.in_adr = Field(p, "InAdr", 2, QStringLiteral("10-1f"), kAdrX, 52, 25);
  io.in_port = Go(p, "InPort", 52);

  Caption(p, "InData", 8, 80, 48);
  io.in_data = Go(p, "InData", 80);

  Caption(p, "SendData", 8, 108, 60);
  io.send_buff = Field(p, "SendBuff", 500, QStringLiteral("ex. \"ABC\"0d0a"), 8, 132, 113);
  io.send_data = Go(p, "SendData", 132);

  Caption(p, "RecData", 0, 172, 60);
  io.log = new QListWidget(p);
  io.log->setObjectName(QStringLiteral("LogMsg"));
  io.log->setGeometry(0, 192, 153, 121);
  io.log->setUniformItemSizes(true);
  return io;
}

}  // namespace kavro
