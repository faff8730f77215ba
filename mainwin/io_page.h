// The "I/O" tab: the controller's digital ports, raw bytes, and the log of all traffic.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;
class QWidget;

namespace kavro {

// What the log list does beyond listing: it keeps the time each line was logged, shows those
// times on request ("Timestamps"), and saves the whole log to a text file ("Save log…"). Both
// are in the list's context menu; saving also has a small button above the list.
class TrafficLog : public QObject {
  Q_OBJECT

 public:
  // Asks the user for the file to save to; empty when cancelled.
  using FileChooser = std::function<QString(QWidget* parent)>;

  explicit TrafficLog(QListWidget* list);

  // A line about to be logged: gets the time now, and shows it if timestamps are on.
  void Stamp(QListWidgetItem& item) const;
  void SetTimestampsShown(bool on);
  bool TimestampsShown() const;

  // The log as it is saved: a line per entry, the date and time it was logged to the
  // millisecond, a blank, and the entry as logged ("2026-12-08 09:12:03.456  S:2A").
  QString SavedText() const;
  // Writes SavedText to `path` as UTF-8, replacing the file whole; false after a failure, which
  // is shown naming the file and the reason.
  bool SaveTo(const QString& path) const;
  // "Save log…": asks for the file, then saves.
  void SaveClick() const;

  // The time of a new line; tests set their own.
  std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
  FileChooser choose_file;

  QAction* save_action = nullptr;        // "Save log…"
  QAction* timestamps_action = nullptr;  // "Timestamps", checkable, off at start

 private:
  QListWidget* list_;
};

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
  TrafficLog* traffic = nullptr;
  QToolButton* save_log = nullptr;  // SaveLog, beside "RecData"
};

IoPage BuildIoPage(QWidget* parent);

}  // namespace kavro
