// The "I/O" tab: the controller's digital ports, raw bytes, and the log of all traffic.
#pragma once

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace kavro {

struct IoPage {
  QWidget* page = nullptr;
  QLineEdit* out_adr = nullptr;    // OutAdr, hex 00-0f
  QLineEdit* out_data = nullptr;   // OutData, hex 00-ff
  QLineEdit* in_adr = nullptr;     // InAdr, hex 10-1f
  QLineEdit* send_buff = nullptr;  // SendBuff, raw data text
  QPushButton* out_port = nullptr;
  QPushButton* in_port = nullptr;
  QPushButton* in_data = nullptr;
  QPushButton* send_data = nullptr;
  QListWidget* log = nullptr;  // LogMsg
};

IoPage BuildIoPage(QWidget* parent);

}  // namespace kavro
