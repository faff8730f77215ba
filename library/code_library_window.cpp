#include "library/code_library_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "codec/signal_settings.h"
#include "datafile/atomic_file.h"
#include "datafile/file_error.h"
#include "datafile/file_lock.h"
#include "datafile/hex_text.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/store.h"
#include "gui/conversion_error.h"
#include "gui/error_display.h"
#include "gui/gui_text.h"
#include "library/code_exchange.h"
#include "library/signal_image.h"
#include "library/signal_view.h"
#include "link/link_messages.h"

namespace kavro {
namespace {

constexpr int kClientWidth = 610;
constexpr int kClientHeight = 406;
// The decode line sits below the message line, so nothing of the window's own layout moves.
constexpr int kDecodeLineHeight = 18;
constexpr int kImageWidth = 548;
constexpr int kImageHeight = 67;
constexpr int kPanelHeight = 69;
// SeqNum proposes this number when the window is shown.
constexpr const char* kFirstProposal = "1000";

const QString kUpdate = QStringLiteral("Update");
const QString kAppend = QStringLiteral("Append");

// A link message rather than a data text.
bool IsMessageText(std::string_view text) { return !link_msg::IsLearnedDataText(text); }

std::string NumberText(long long number) {
  char text[24];
  std::snprintf(text, sizeof text, "%04lld", number);
  return text;
}

std::string Bytes(const QLineEdit* edit) { return ToSjis(edit->text()); }

// The number an entry begins with, as the list keeps it ("%04d").
std::string_view EntryNumber(std::string_view entry) { return entry.substr(0, entry.find(' ')); }

// What follows the number: the data text and the comment.
std::string_view EntryText(std::string_view entry) {
  const std::size_t space = entry.find(' ');
  return space == std::string_view::npos ? std::string_view() : entry.substr(space);
}

bool IsLibraryEntry(std::string_view entry) {
  return LeadingDecimal(EntryNumber(entry)).value_or(0) >= kLibraryFirstCode;
}

// Every record of the section as library entries, in file order. `*error` tells why a file that
// is there cannot be read.
std::vector<std::string> ReadLibraryEntries(const std::string& path, FileError* error) {
  std::vector<std::string> entries;
  std::string line = "start";
  while (ReadSectionLine(path, kDataSection, line, error) == 0) {
    if (std::optional<std::string> entry = LibraryEntryFromLine(line)) entries.push_back(*entry);
    line = "next";
  }
  line = "end";
  ReadSectionLine(path, kDataSection, line);
  return entries;
}

std::map<std::string, std::vector<std::string>> ByNumber(const std::vector<std::string>& entries) {
  std::map<std::string, std::vector<std::string>> records;
  for (const std::string& entry : entries)
    records[std::string(EntryNumber(entry))].push_back(entry);
  return records;
}

std::optional<QFont> RunFontDialog(QFontDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedFont();
}

// The export formats as the save dialog offers them.
constexpr struct {
  const char* filter;
  codec::Format format;
} kExportFilters[] = {
    {"Pronto hex (*.txt)", codec::Format::kPronto},
    {"Raw timings (*.txt)", codec::Format::kRaw},
    {"LIRC (*.conf)", codec::Format::kLirc},
    {"Flipper Zero (*.ir)", codec::Format::kFlipper},
    {"Broadlink base64 (*.txt)", codec::Format::kBroadlink},
};

std::optional<TForm3::ChosenFile> RunFileDialog(QWidget* parent, bool for_export) {
  if (!for_export) {
    const QString path = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Import"), QString(),
        QStringLiteral("IR code files (*.txt *.conf *.ir *.csv);;All files (*)"));
    if (path.isEmpty()) return std::nullopt;
    return TForm3::ChosenFile{path};
  }
  QStringList filters;
  for (const auto& f : kExportFilters) filters << QString::fromLatin1(f.filter);
  QString selected = filters.front();
  const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export"), QString(),
                                                    filters.join(QStringLiteral(";;")), &selected);
  if (path.isEmpty()) return std::nullopt;
  const qsizetype at = filters.indexOf(selected);
  return TForm3::ChosenFile{path, kExportFilters[at < 0 ? 0 : at].format};
}

}  // namespace

TForm3::TForm3(LibraryHost& host, QWidget* parent)
    : QMainWindow(parent),
      choose_font(RunFontDialog),
      choose_file(RunFileDialog),
      host_(host),
      Image1(new SignalImage(kImageWidth, kImageHeight)),
      view_(std::make_unique<SignalView>(*Image1)) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Kavro"));
  setFont(DesignFont());
  // Closing this window hands back to the main window; it never ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  BuildControls();
  BuildMenus();
  setFixedSize(kClientWidth, kClientHeight + kDecodeLineHeight + menuBar()->sizeHint().height());
}

TForm3::~TForm3() = default;

void TForm3::BuildControls() {
  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight + kDecodeLineHeight);
  setCentralWidget(client);

  auto button = [&](const char* name, const QString& caption, int x) {
    auto* b = new QPushButton(caption, client);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, 4, 75, 25);
    return b;
  };
  IrLearn = button("IrLearn", QStringLiteral("Learn"), 4);
  IrSend = button("IrSend", QStringLiteral("Send"), 83);
  IrUpdate = button("IrUpdate", kAppend, 162);
  IrDelete = button("IrDelete", QStringLiteral("Delete"), kClientWidth - 79);

  auto label = [&](const char* name, const QString& caption, int x) {
    auto* l = new QLabel(caption, client);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, 36);
  };
  auto edit = [&](const char* name, int x, int width, std::size_t max_bytes) {
    auto* e = new QLineEdit(client);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, 52, width, 21);
    // A limit on typing only: a longer text the program puts in stays whole, so nothing stored
    // is cut behind the user's back.
    e->setValidator(new SjisByteLimitValidator(max_bytes, e));
    return e;
  };
  // IrData shows all 58 digits of a data text, IrComm ten double-byte characters.
  label("Label1", QStringLiteral("No"), 6);
  label("Label2", QStringLiteral("Data"), 46);
  label("Label3", QStringLiteral("Comment"), 476);
  SeqNum = edit("SeqNum", 4, 36, 4);
  IrData = edit("IrData", 44, 428, kDataTextSlot - 2);
  IrComm = edit("IrComm", 476, 130, kCommentSlot);

  IrDataList = new QListWidget(client);
  IrDataList->setObjectName(QStringLiteral("IrDataList"));
  IrDataList->setGeometry(0, 78, kClientWidth, 238);
  IrDataList->setSelectionMode(QAbstractItemView::SingleSelection);
  IrDataList->setContextMenuPolicy(Qt::CustomContextMenu);
  IrDataList->setUniformItemSizes(true);

  auto* panel = new QFrame(client);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  panel->setGeometry(0, 318, kClientWidth, kPanelHeight);
  Image1->setParent(panel);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->move(1, 1);
  DispType = new QListWidget(panel);
  DispType->setObjectName(QStringLiteral("DispType"));
  DispType->addItems(
      {QStringLiteral("ALL"), QStringLiteral("-1-"), QStringLiteral("-2-"), QStringLiteral("-3-")});
  DispType->setGeometry(kImageWidth + 3, 1, 34, kImageHeight);
  DispType->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DispType->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Each radio button sits beside the trace it selects.
  Logic1 = new QRadioButton(panel);
  Logic1->setObjectName(QStringLiteral("Logic1"));
  Logic1->setGeometry(kImageWidth + 40, 10, 20, 16);
  Logic1->setChecked(true);
  Logic2 = new QRadioButton(panel);
  Logic2->setObjectName(QStringLiteral("Logic2"));
  Logic2->setGeometry(kImageWidth + 40, 43, 20, 16);

  Message = NewTextLabel(QString(), client);
  Message->setObjectName(QStringLiteral("Message"));
  Message->setGeometry(4, 389, kClientWidth - 8, 16);
  DecodeInfo = NewTextLabel(QString(), client);
  DecodeInfo->setObjectName(QStringLiteral("DecodeInfo"));
  DecodeInfo->setGeometry(4, kClientHeight + 1, kClientWidth - 8, 16);

  // The dialog offers fonts by family and points: start it from the face the design font
  // resolves to.
  const QFontInfo design(DesignFont());
  QFont first_choice(design.family());
  first_choice.setPointSize(design.pointSize());
  FontDialog1 = new QFontDialog(first_choice, this);
  FontDialog1->setObjectName(QStringLiteral("FontDialog1"));

  connect(IrLearn, &QPushButton::clicked, this, Guarded([this] { IrLearnClick(); }));
  connect(IrSend, &QPushButton::clicked, this, Guarded([this] { IrSendClick(); }));
  connect(IrUpdate, &QPushButton::clicked, this, Guarded([this] { IrUpdateClick(); }));
  connect(IrDelete, &QPushButton::clicked, this, Guarded([this] { IrDeleteClick(); }));
  connect(SeqNum, &QLineEdit::textChanged, this, Guarded([this] { SeqNumChange(); }));
  // A click, and a selection moved with the keys; the program's own changes of the list are
  // made with its signals blocked.
  connect(IrDataList, &QListWidget::currentRowChanged, this,
          Guarded([this] { IrDataListClick(); }));
  connect(IrDataList, &QListWidget::itemClicked, this, Guarded([this] { IrDataListClick(); }));
  connect(DispType, &QListWidget::currentRowChanged, this, Guarded([this] { DispTypeClick(); }));
  connect(Logic1, &QRadioButton::clicked, this, Guarded([this] { Logic1Click(); }));
  connect(Logic2, &QRadioButton::clicked, this, Guarded([this] { Logic2Click(); }));
}

void TForm3::BuildMenus() {
  auto action = [&](const char* name, const QString& caption) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
  file->setObjectName(QStringLiteral("FileF1"));
  QAction* learn = action("LearnL1", QStringLiteral("Learn(&L)"));
  QAction* send = action("SendS1", QStringLiteral("Send(&S)"));
  QAction* exit = action("ExitE1", QStringLiteral("Exit(&E)"));
  QAction* import = action("ImportI1", QStringLiteral("Import…"));
  QAction* export_ = action("ExportX1", QStringLiteral("Export…"));
  file->addAction(learn);
  file->addAction(send);
  file->addSeparator();
  file->addAction(import);
  file->addAction(export_);
  file->addSeparator();
  file->addAction(exit);
  QMenu* option = menuBar()->addMenu(QStringLiteral("Option(&O)"));
  option->setObjectName(QStringLiteral("OptionO1"));
  QAction* font = action("FontF1", QStringLiteral("List Font"));
  option->addAction(font);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* popup_learn = action("LearnL2", QStringLiteral("Learn(&L)"));
  QAction* popup_send = action("SendS2", QStringLiteral("Send(&S)"));
  QAction* popup_delete = action("DeleteD1", QStringLiteral("Delete(&D)"));
  PopupMenu1->addAction(popup_learn);
  PopupMenu1->addAction(popup_send);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(popup_delete);

  connect(learn, &QAction::triggered, this, Guarded([this] { IrLearnClick(); }));
  connect(popup_learn, &QAction::triggered, this, Guarded([this] { IrLearnClick(); }));
  connect(send, &QAction::triggered, this, Guarded([this] { IrSendClick(); }));
  connect(popup_send, &QAction::triggered, this, Guarded([this] { IrSendClick(); }));
  connect(popup_delete, &QAction::triggered, this, Guarded([this] { IrDeleteClick(); }));
  connect(exit, &QAction::triggered, this, Guarded([this] { ExitE1Click(); }));
  connect(font, &QAction::triggered, this, Guarded([this] { FontF1Click(); }));
  connect(import, &QAction::triggered, this, Guarded([this] { ImportClick(); }));
  connect(export_, &QAction::triggered, this, Guarded([this] { ExportClick(); }));
  connect(IrDataList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu1->popup(IrDataList->viewport()->mapToGlobal(pos));
  });
}

// ------------------------------------------------------------------ window events

void TForm3::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Restoring a minimised window is no new showing.
  if (event->spontaneous()) return;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  FormShow();
}

void TForm3::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (event->spontaneous()) return;
  FormHide();
}

void TForm3::closeEvent(QCloseEvent* event) {
  FormClose();
  QMainWindow::closeEvent(event);
}

// ------------------------------------------------------------------ the entry list

int TForm3::SelectedIndex() const {
  const int row = IrDataList->currentRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return -1;
  const QListWidgetItem* item = IrDataList->item(row);
  return item != nullptr && item->isSelected() ? row : -1;
}

void TForm3::AddEntry(std::string entry) {
  // After equal entries, so that a learn into a used number lands behind the older entry.
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), entry);
  const int row = static_cast<int>(at - entries_.begin());
  changed_numbers_.emplace(EntryNumber(entry));
  const QSignalBlocker quiet(IrDataList);
  IrDataList->insertItem(row, FromSjis(entry));
  entries_.insert(at, std::move(entry));
}

void TForm3::RemoveEntry(int index) {
  changed_numbers_.emplace(EntryNumber(entries_[index]));
  const QSignalBlocker quiet(IrDataList);
  delete IrDataList->takeItem(index);
  entries_.erase(entries_.begin() + index);
  IrDataList->setCurrentRow(-1);
}

void TForm3::ReplaceEntries(std::vector<std::string> entries) {
  std::stable_sort(entries.begin(), entries.end());
  // One conversion for the whole list: a converter per entry costs more than the entries.
  // No Shift-JIS character contains a line feed byte, so the lines come apart as they went in.
  std::string joined;
  for (const std::string& entry : entries) {
    joined += entry;
    joined += '\n';
  }
  QStringList shown = FromSjis(joined).split(QLatin1Char('\n'));
  shown.removeLast();
  if (shown.size() != static_cast<qsizetype>(entries.size())) {
    shown.clear();
    for (const std::string& entry : entries) shown.append(FromSjis(entry));
  }
  const QSignalBlocker quiet(IrDataList);
  IrDataList->clear();
  IrDataList->addItems(shown);
  entries_ = std::move(entries);
}

// ------------------------------------------------------------------ operations

void TForm3::MsgOut(std::string_view text) { Message->setText(FromSjis(text)); }

void TForm3::FormShow() {
  const std::string path = host_.DataFileName();
  std::string name;
  std::string size;
  ReadKeyValue(path, kListFontNameSetting.section, kListFontNameSetting.key, name,
               kListFontNameSetting.deflt);
  ReadKeyValue(path, kListFontSizeSetting.section, kListFontSizeSetting.key, size,
               kListFontSizeSetting.deflt);
  QFont list_font = IrDataList->font();
  if (!name.empty()) list_font.setFamily(FromSjis(name));
  if (!size.empty() && size[0] >= '0' && size[0] <= '9') {
    const int points = LeadingDecimal(size).value_or(0);
    if (points > 0) list_font.setPointSize(points);
  }
  IrDataList->setFont(list_font);

  MsgOut("");
  DecodeInfo->clear();
  unit_ns_ = codec::ReadSignalSettings(path).unit_ns;
  modified_ = false;

  FileError error;
  std::vector<std::string> entries = ReadLibraryEntries(path, &error);
  shown_records_ = ByNumber(entries);
  changed_numbers_.clear();
  ReplaceEntries(std::move(entries));
  // An empty list must not pass for an empty library.
  if (error)
    Message->setText(QStringLiteral("Data file cannot be read: ") + FileErrorQText(path, error));

  SetSeqNum(kFirstProposal);
  IrData->clear();
  IrComm->clear();

  view_->Clear();
  DispLogic();
  const QSignalBlocker quiet(DispType);
  DispType->setCurrentRow(0);
}

void TForm3::SetSeqNum(const std::string& text) {
  const QString shown = FromSjis(text);
  if (SeqNum->text() == shown)
    SeqNumChange();
  else
    SeqNum->setText(shown);
}

int TForm3::SeqNumValue() const {
  int value = 0;
  // The error quotes the text as shown, in the display's encoding.
  if (!TryStrToInt(Bytes(SeqNum), value)) throw ConversionError(SeqNum->text().toStdString());
  return value;
}

void TForm3::SeqNumChange() {
  const std::string text = Bytes(SeqNum);
  if (text.size() != 4) return;
  // A text that is not a number is a number no entry has.
  int number = 0;
  bool in_use = false;
  if (TryStrToInt(text, number)) {
    const std::string key = NumberText(number);
    in_use = std::any_of(entries_.begin(), entries_.end(),
                         [&](const std::string& entry) { return entry.starts_with(key); });
  }
  IrUpdate->setText(in_use ? kUpdate : kAppend);
}

void TForm3::IrDataListClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  const std::optional<RecordEntryParts> parts = SplitRecordEntry(entries_[index]);
  if (!parts) return;
  SetSeqNum(std::string(parts->number));
  IrData->setText(FromSjis(parts->data));
  IrComm->setText(FromSjis(parts->comment));
  // Show where the texts begin, as a freshly filled edit does.
  IrData->setCursorPosition(0);
  IrComm->setCursorPosition(0);
  DecodeInfo->setText(QString::fromStdString(DecodeLine(parts->data, unit_ns_)));

  std::vector<unsigned char> bytes;
  const int count = HexTextToBytes(parts->data, bytes);
  if (count < 1) return;
  // Bytes the text does not give are drawn as 0.
  view_->SetCurrent(SignalBlock(std::span<const unsigned char>(bytes.data(), count)));
  DispLogic();
}

void TForm3::IrLearnClick() {
  const int number = SeqNumValue();
  if (number < kLibraryFirstCode) {
    MsgOut("SeqNum >= 250");
    return;
  }
  if (IrComm->text().isEmpty()) {
    MsgOut(link_msg::kCommentNothing);
    return;
  }
  switch (host_.SetLearnMode()) {
    case kLearnStarted:
      SeqNum->setEnabled(false);
      MsgOut(link_msg::kPushController);
      break;
    case kLearnAlreadyOn: MsgOut(link_msg::kAlreadyLearning); break;
    case kLearnBusy: MsgOut(link_msg::kBusy); break;
  }
}

void TForm3::LearnCountdown(int seconds_left) {
  MsgOut(std::string(link_msg::kPushController) + " " + std::to_string(seconds_left) + " s");
}

void TForm3::LearnData(std::string_view text) {
  if (IsMessageText(text)) {
    MsgOut(text);
    SeqNum->setEnabled(true);
    return;
  }
  IrData->setText(FromSjis(text));
  IrData->setCursorPosition(0);
  int seq_num = 0;
  if (!TryStrToInt(Bytes(SeqNum), seq_num)) {
    // Reached only from the link, whose reply handler must not be unwound: the code stays in
    // IrData for an Append under a proper number.
    ShowException(ConversionError(SeqNum->text().toStdString()));
    SeqNum->setEnabled(true);
    return;
  }
  const long long number = seq_num;
  SetSeqNum(NumberText(number + 10));

  std::string entry = NumberText(number);
  entry += ' ';
  std::string data(text);
  std::replace_if(data.begin(), data.end(), IsTextSpace, '_');
  entry += data;
  entry += ' ';
  entry += Bytes(IrComm);
  AddEntry(std::move(entry));

  modified_ = true;
  SeqNum->setEnabled(true);
}

void TForm3::IrUpdateClick() {
  const std::string data = Bytes(IrData);
  if (data.size() != kDataTextSlot - 2) {
    MsgOut(link_msg::kDataLength);
    return;
  }
  // A text that LearnData would take for a message is refused here, before the selected entry
  // is removed: otherwise Update would only delete it.
  if (data.find(' ') != std::string::npos || IsMessageText(data)) {
    MsgOut("Data Format Error!");
    return;
  }
  // The number is needed by LearnData; refusing it there would come after the removal.
  SeqNumValue();

  if (IrUpdate->text() == kUpdate) {
    const int index = SelectedIndex();
    if (index >= 0) RemoveEntry(index);
  }
  LearnData(data);
  SeqNumChange();
  MsgOut("");
  modified_ = true;
}

void TForm3::IrDeleteClick() {
  const int index = SelectedIndex();
  if (index < 0) {
    MsgOut("Please Select Data");
    return;
  }
  if (prompt(this, QStringLiteral("削除してもよろしいですか？"), QStringLiteral("削除確認"))) {
    RemoveEntry(index);
    SeqNumChange();
    modified_ = true;
  }
  MsgOut("");
}

void TForm3::IrSendClick() {
  const int index = SelectedIndex();
  if (index < 0) {
    MsgOut("Please Select Data");
    return;
  }
  const std::optional<RecordEntryParts> parts = SplitRecordEntry(entries_[index]);
  if (!parts) return;
  MsgOut("Send(" + std::string(parts->number) + ")");
  switch (host_.SendIrData(parts->data)) {
    case kSendEmpty: MsgOut(link_msg::kNoData); break;
    case kSendTooLong: MsgOut(link_msg::kDataLength); break;
    case kSendBusy: MsgOut(link_msg::kBusy); break;
    case kSendStarted: break;
  }
}

void TForm3::FormHide() {
  if (modified_ &&
      prompt(this, QStringLiteral("変更データを保存しますか？"), QStringLiteral("保存確認")) &&
      !entries_.empty()) {
    SaveEntries();
  }
  host_.ShowMainWindow();
}

void TForm3::SaveEntries() {
  const std::string path = host_.DataFileName();
  // Held from reading what others changed to the end of the rewrite, whose own lock nests in it:
  // no other program's change can fall between.
  const DataFileLock lock(path);
  if (lock.error()) return ReportUnsaved(path, lock.error());
  const int kept = KeepOthersChanges(path);
  FileError error;
  if (WriteSectionLine(path, kDataSection, "start", &error) != 0) {
    // Codes learned while no data file exists yet would be lost: begin an empty file.
    std::error_code exists_error;
    if (path.empty() || std::filesystem::exists(path, exists_error) || exists_error)
      return ReportUnsaved(path, error);
    std::ofstream(path, std::ios::binary);
    if (WriteSectionLine(path, kDataSection, "start", &error) != 0)
      return ReportUnsaved(path, error);
  }
  int next_library_number = kLibraryFirstCode;
  for (const std::string& entry : entries_) {
    const std::size_t space = entry.find(' ');
    if (space == std::string::npos) continue;
    const std::optional<int> number = LeadingDecimal(std::string_view(entry).substr(0, space));
    if (!number) continue;
    const int key = *number < kLibraryFirstCode ? *number : next_library_number++;
    WriteSectionLine(path, kDataSection,
                     LibrarySectionLine(key, std::string_view(entry).substr(space + 1)));
  }
  if (WriteSectionLine(path, kDataSection, "end", &error) != 0) return ReportUnsaved(path, error);
  if (kept > 0) MsgOut("Kept " + std::to_string(kept) + " codes changed by another program");
}

// A record is another program's when the file holds it now but did not at the showing. At a
// number this window changed, the window's entries win; elsewhere the file's records of that
// number replace the window's unchanged ones. A record only gone from the file stays in the
// list: the window shows it, and dropping it unasked could lose a code. A library code the list
// holds already, found at another library number, is no new record: another library window's
// save renumbered it.
int TForm3::KeepOthersChanges(const std::string& path) {
  std::multiset<std::string_view> library_texts;
  for (const std::string& entry : entries_) {
    if (IsLibraryEntry(entry)) library_texts.insert(EntryText(entry));
  }
  std::vector<std::string> entries = entries_;
  int kept = 0;
  for (auto& [number, records] : ByNumber(ReadLibraryEntries(path, nullptr))) {
    if (changed_numbers_.contains(number)) continue;
    const auto shown = shown_records_.find(number);
    std::multiset<std::string_view> unchanged;
    if (shown != shown_records_.end()) unchanged.insert(shown->second.begin(), shown->second.end());
    std::vector<std::string> now;
    int added = 0;
    for (std::string& record : records) {
      if (const auto same = unchanged.find(record); same != unchanged.end()) {
        unchanged.erase(same);
      } else if (IsLibraryEntry(record) && library_texts.contains(EntryText(record))) {
        continue;
      } else {
        ++added;
      }
      now.push_back(std::move(record));
    }
    if (added == 0) continue;
    std::erase_if(entries, [&](const std::string& entry) { return EntryNumber(entry) == number; });
    entries.insert(entries.end(), std::make_move_iterator(now.begin()),
                   std::make_move_iterator(now.end()));
    kept += added;
  }
  if (kept > 0) ReplaceEntries(std::move(entries));
  return kept;
}

// The entries stay in the list while the window lives; the user must know they are not stored.
void TForm3::ReportUnsaved(const std::string& path, FileError error) {
  if (!error) error = FileError{FileFault::kNotFound, 0};
  ShowErrorText(QStringLiteral("The code library could not be saved to the data file: ") +
                FileErrorQText(path, error));
}

void TForm3::ImportClick() {
  const std::optional<ChosenFile> chosen = choose_file(this, false);
  if (!chosen) return;
  const LibraryImport imported = ImportForLibrary(QFile::encodeName(chosen->path).toStdString(),
                                                  host_.DataFileName(), entries_);
  if (!imported.error.empty()) return ShowErrorText(QString::fromStdString(imported.error));
  for (const std::string& entry : imported.entries) AddEntry(entry);
  if (!imported.entries.empty()) modified_ = true;
  SeqNumChange();
  Message->setText(QStringLiteral("Imported %1 codes, %2 refused")
                       .arg(imported.entries.size())
                       .arg(imported.refused.size()));
  if (!imported.refused.empty()) {
    QString refused = QStringLiteral("Codes that could not be imported:");
    for (const std::string& line : imported.refused) refused += '\n' + QString::fromStdString(line);
    ShowErrorText(refused);
  }
}

void TForm3::ExportClick() {
  const std::optional<ChosenFile> chosen = choose_file(this, true);
  if (!chosen) return;
  const codec::Outcome<std::string> text =
      ExportLibrary(chosen->format, entries_, host_.DataFileName());
  if (!text) return ShowErrorText(QString::fromStdString(text.reason()));
  const std::string path = QFile::encodeName(chosen->path).toStdString();
  FileError error;
  if (ReplaceFileContent(path, *text, ReplaceMode::kExisting, &error) != 0)
    return ShowErrorText(QStringLiteral("The export could not be written: ") +
                         FileErrorQText(path, error));
  Message->setText(QStringLiteral("Exported %1 codes").arg(entries_.size()));
}

void TForm3::FormClose() { host_.EnableMainWindow(); }

void TForm3::ExitE1Click() { close(); }

void TForm3::FontF1Click() {
  const std::optional<QFont> chosen = choose_font(*FontDialog1);
  if (!chosen) return;
  FontDialog1->setCurrentFont(*chosen);
  IrDataList->setFont(*chosen);
  const std::string path = host_.DataFileName();
  WriteKeyValue(path, kListFontNameSetting.section, kListFontNameSetting.key,
                ToSjis(chosen->family()));
  WriteKeyValue(path, kListFontSizeSetting.section, kListFontSizeSetting.key,
                std::to_string(QFontInfo(*chosen).pointSize()));
}

// ------------------------------------------------------------------ signal view

int TForm3::DispLogic() {
  Image1->BeginBatch();
  const Trace trace = Logic2->isChecked() ? Trace::kLower : Trace::kUpper;
  const int result = view_->DispLogic(trace, DispType->currentRow());
  Image1->EndBatch();
  return result;
}

void TForm3::DispTypeClick() { DispLogic(); }

void TForm3::Logic1Click() {
  Image1->BeginBatch();
  view_->SwitchTrace(Trace::kUpper, DispType->currentRow());
  Image1->EndBatch();
}

void TForm3::Logic2Click() {
  Image1->BeginBatch();
  view_->SwitchTrace(Trace::kLower, DispType->currentRow());
  Image1->EndBatch();
}

}  // namespace kavro
