#include "mainwin/io_page.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <sys/stat.h>

#include "datafile/atomic_file.h"
#include "gui/error_display.h"
#include "gui/gui_text.h"

namespace kavro {

namespace {

// What an entry keeps beside the text it shows: when it was logged, and the text as logged
// (the shown text carries the time while timestamps are on).
constexpr int kTimeRole = Qt::UserRole;
constexpr int kEntryRole = Qt::UserRole + 1;

QString Entry(const QListWidgetItem& item) {
  const QVariant entry = item.data(kEntryRole);
  return entry.isValid() ? entry.toString() : item.text();
}

QString Shown(const QListWidgetItem& item, bool with_time) {
  const QDateTime time = item.data(kTimeRole).toDateTime();
  if (!with_time || !time.isValid()) return Entry(item);
  // The list is narrow: the time of day is enough there; the saved file has the date too.
  return time.toString(QStringLiteral("hh:mm:ss.zzz ")) + Entry(item);
}

QString AskLogFile(QWidget* parent) {
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save log"),
                                      QStringLiteral("kavro-log.txt"),
                                      QStringLiteral("Text files (*.txt);;All files (*)"));
}

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

TrafficLog::TrafficLog(QListWidget* list) : QObject(list), choose_file(AskLogFile), list_(list) {
  setObjectName(QStringLiteral("LogMsgTraffic"));
  save_action = new QAction(QString::fromUtf8("Save log…"), list);
  save_action->setObjectName(QStringLiteral("SaveLogAction"));
  timestamps_action = new QAction(QStringLiteral("Timestamps"), list);
  timestamps_action->setObjectName(QStringLiteral("TimestampsAction"));
  timestamps_action->setCheckable(true);
  list->addAction(save_action);
  list->addAction(timestamps_action);
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(save_action, &QAction::triggered, this, Guarded([this] { SaveClick(); }));
  connect(timestamps_action, &QAction::toggled, this, [this](bool on) { SetTimestampsShown(on); });
}

void TrafficLog::Stamp(QListWidgetItem& item) const {
  item.setData(kEntryRole, item.text());
  item.setData(kTimeRole, clock());
  if (TimestampsShown()) item.setText(Shown(item, true));
}

void TrafficLog::SetTimestampsShown(bool on) {
  if (timestamps_action->isChecked() != on) {
    timestamps_action->setChecked(on);  // comes back here through its toggled signal
    return;
  }
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem& item = *list_->item(i);
    item.setText(Shown(item, on));
  }
}

bool TrafficLog::TimestampsShown() const { return timestamps_action->isChecked(); }

QString TrafficLog::SavedText() const {
  QString text;
  for (int i = 0; i < list_->count(); ++i) {
    const QListWidgetItem& item = *list_->item(i);
    const QDateTime time = item.data(kTimeRole).toDateTime();
    if (time.isValid()) text += time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz "));
    text += Entry(item);
    text += QLatin1Char('\n');
  }
  return text;
}

bool TrafficLog::SaveTo(const QString& path) const {
  const std::string name = QFile::encodeName(path).toStdString();
  const QByteArray content = SavedText().toUtf8();
  struct stat st;
  const ReplaceMode mode =
      ::stat(name.c_str(), &st) == 0 ? ReplaceMode::kExisting : ReplaceMode::kCreate;
  FileError error;
  if (ReplaceFileContent(name, std::string_view(content.constData(), content.size()), mode,
                         &error) == 0)
    return true;
  // The log stays as it is, so the user can try another file.
  ShowErrorText(QStringLiteral("The log could not be saved: ") + FileErrorQText(name, error));
  return false;
}

void TrafficLog::SaveClick() const {
  const QString path = choose_file ? choose_file(list_->window()) : QString();
  if (!path.isEmpty()) SaveTo(path);
}

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
  io.traffic = new TrafficLog(io.log);
  // In the free space right of "RecData"; the context menu has it too.
  io.save_log = new QToolButton(p);
  io.save_log->setObjectName(QStringLiteral("SaveLog"));
  io.save_log->setText(QString::fromUtf8("Save…"));
  io.save_log->setToolTip(io.traffic->save_action->text());
  io.save_log->setGeometry(109, 172, 44, 18);
  QObject::connect(io.save_log, &QToolButton::clicked, io.traffic,
                   Guarded([traffic = io.traffic] { traffic->SaveClick(); }));
  return io;
}

}  // namespace kavro
