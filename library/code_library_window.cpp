#include "library/code_library_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QHideEvent>
#include <QKeyEvent>
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
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "codec/decode.h"
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
#include "library/signal_window.h"
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
constexpr int kListTop = 78;
constexpr int kListHeight = 238;
constexpr int kPanelTop = 318;
constexpr int kMessageTop = 389;
// The filter box fills the free middle of the button strip, so the design layout stays.
constexpr int kFilterLeft = 245;
constexpr int kDeleteFromRight = 79;
// SeqNum proposes this number when the window is shown.
constexpr const char* kFirstProposal = "1000";

const QString kUpdate = QStringLiteral("Update");
const QString kAppend = QStringLiteral("Append");
constexpr const char* kLearnCancelled = "Learn cancelled";

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
  const QSize design(kClientWidth,
                     kClientHeight + kDecodeLineHeight + menuBar()->sizeHint().height());
  setMinimumSize(design);
  resize(design);
}

TForm3::~TForm3() = default;

void TForm3::BuildControls() {
  auto* client = new QWidget(this);
  Client = client;
  client->setMinimumSize(kClientWidth, kClientHeight + kDecodeLineHeight);
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
  IrDelete = button("IrDelete", QStringLiteral("Delete"), kClientWidth - kDeleteFromRight);
  // Access keys without a "&" in the captions, which must read as they are.
  IrLearn->setShortcut(QKeySequence(Qt::ALT | Qt::Key_L));
  IrSend->setShortcut(QKeySequence(Qt::ALT | Qt::Key_S));
  IrUpdate->setShortcut(QKeySequence(Qt::ALT | Qt::Key_A));
  IrDelete->setShortcut(QKeySequence(Qt::ALT | Qt::Key_D));

  Filter = new QLineEdit(client);
  Filter->setObjectName(QStringLiteral("Filter"));
  Filter->setPlaceholderText(QStringLiteral("Filter: number, comment or protocol"));
  Filter->setClearButtonEnabled(true);

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
  IrDataList->setSelectionMode(QAbstractItemView::SingleSelection);
  IrDataList->setContextMenuPolicy(Qt::CustomContextMenu);
  IrDataList->setUniformItemSizes(true);

  auto* panel = new QFrame(client);
  Panel1 = panel;
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  Image1->setParent(panel);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->move(1, 1);
  DispType = new QListWidget(panel);
  DispType->setObjectName(QStringLiteral("DispType"));
  DispType->addItems(
      {QStringLiteral("ALL"), QStringLiteral("-1-"), QStringLiteral("-2-"), QStringLiteral("-3-")});
  DispType->resize(34, kImageHeight);
  DispType->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DispType->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Each radio button sits beside the trace it selects.
  Logic1 = new QRadioButton(panel);
  Logic1->setObjectName(QStringLiteral("Logic1"));
  Logic1->resize(20, 16);
  Logic1->setChecked(true);
  Logic2 = new QRadioButton(panel);
  Logic2->setObjectName(QStringLiteral("Logic2"));
  Logic2->resize(20, 16);

  Message = NewTextLabel(QString(), client);
  Message->setObjectName(QStringLiteral("Message"));
  DecodeInfo = NewTextLabel(QString(), client);
  DecodeInfo->setObjectName(QStringLiteral("DecodeInfo"));
  LayOut(QSize(kClientWidth, kClientHeight + kDecodeLineHeight));
  // Only now that every control is there: the list's keys and tool tips, and resizing.
  client->installEventFilter(this);
  IrDataList->installEventFilter(this);
  IrDataList->viewport()->installEventFilter(this);

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
  connect(Filter, &QLineEdit::textChanged, this, Guarded([this] { FilterChange(); }));
  // A click, and a selection moved with the keys; the program's own changes of the list are
  // made with its signals blocked.
  connect(IrDataList, &QListWidget::currentRowChanged, this,
          Guarded([this] { IrDataListClick(); }));
  connect(IrDataList, &QListWidget::itemClicked, this, Guarded([this] { IrDataListClick(); }));
  connect(IrDataList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    Guarded([this, item] { OpenSignalWindow(EntryAtRow(IrDataList->row(item))); })();
  });
  connect(DispType, &QListWidget::currentRowChanged, this, Guarded([this] { DispTypeClick(); }));
  connect(Logic1, &QRadioButton::clicked, this, Guarded([this] { Logic1Click(); }));
  connect(Logic2, &QRadioButton::clicked, this, Guarded([this] { Logic2Click(); }));
}

void TForm3::LayOut(const QSize& size) {
  const int width = std::max(size.width(), kClientWidth);
  const int extra_height = std::max(0, size.height() - (kClientHeight + kDecodeLineHeight));
  // The traces take a third of the height gained, the list the rest.
  const int panel_extra = extra_height / 3;
  const int list_extra = extra_height - panel_extra;
  const int image_width = kImageWidth + width - kClientWidth;
  const int image_height = kImageHeight + panel_extra;

  IrDelete->move(width - kDeleteFromRight, 4);
  Filter->setGeometry(kFilterLeft, 6, width - kDeleteFromRight - 8 - kFilterLeft, 21);
  IrDataList->setGeometry(0, kListTop, width, kListHeight + list_extra);
  Panel1->setGeometry(0, kPanelTop + list_extra, width, kPanelHeight + panel_extra);
  Image1->move(1, 1);
  DispType->move(image_width + 3, 1);
  // Each radio button stays beside the middle of the trace it selects.
  Logic1->move(image_width + 40, 10 + panel_extra / 4);
  Logic2->move(image_width + 40, 43 + 3 * panel_extra / 4);
  Message->setGeometry(4, kMessageTop + extra_height, width - 8, 16);
  DecodeInfo->setGeometry(4, kClientHeight + 1 + extra_height, width - 8, 16);

  if (Image1->ClientWidth() != image_width || Image1->ClientHeight() != image_height) {
    Image1->Resize(image_width, image_height);
    RedrawTraces();
  }
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
  QAction* signal = action("SignalS1", QStringLiteral("Signal…"));
  option->addAction(signal);
  connect(signal, &QAction::triggered, this, Guarded([this] { SignalClick(); }));
  // After the design's menus, which keep their places.
  UndoStack = new QUndoStack(this);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit(&E)"));
  edit->setObjectName(QStringLiteral("EditE1"));
  QAction* undo = action("UndoU1", QStringLiteral("Undo"));
  QAction* redo = action("RedoR1", QStringLiteral("Redo"));
  undo->setShortcut(QKeySequence::Undo);
  redo->setShortcut(QKeySequence::Redo);
  undo->setEnabled(false);
  redo->setEnabled(false);
  edit->addAction(undo);
  edit->addAction(redo);
  connect(UndoStack, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
  connect(UndoStack, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
  connect(undo, &QAction::triggered, UndoStack, &QUndoStack::undo);
  connect(redo, &QAction::triggered, UndoStack, &QUndoStack::redo);

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

void TForm3::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && learning_) {
    CancelAwaitedLearn();
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Client && event->type() == QEvent::Resize) {
    LayOut(Client->size());
  } else if (watched == IrDataList && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      IrDeleteClick();
      return true;
    }
  } else if (watched == IrDataList->viewport() && event->type() == QEvent::ToolTip) {
    // Decoding every entry when the list fills would cost more than the list: a row's tool tip
    // is made when it is first asked for, and the view then shows it as usual.
    const QPoint at = static_cast<QHelpEvent*>(event)->pos();
    if (QListWidgetItem* item = IrDataList->itemAt(at);
        item != nullptr && item->toolTip().isEmpty())
      item->setToolTip(PlainToolTip(RowToolTip(IrDataList->row(item))));
  }
  return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------------ the entry list

int TForm3::EntryAtRow(int row) const {
  return row >= 0 && row < static_cast<int>(shown_.size()) ? shown_[row] : -1;
}

int TForm3::SelectedIndex() const {
  const int row = IrDataList->currentRow();
  const QListWidgetItem* item = IrDataList->item(row);
  return item != nullptr && item->isSelected() ? EntryAtRow(row) : -1;
}

int TForm3::RowOf(int index) const {
  const auto at = std::lower_bound(shown_.begin(), shown_.end(), index);
  return at != shown_.end() && *at == index ? static_cast<int>(at - shown_.begin()) : -1;
}

int TForm3::AddEntry(std::string entry) {
  // After equal entries, so that a learn into a used number lands behind the older entry.
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), entry);
  const int index = static_cast<int>(at - entries_.begin());
  changed_numbers_.emplace(EntryNumber(entry));
  entries_.insert(at, std::move(entry));
  const auto row = std::lower_bound(shown_.begin(), shown_.end(), index);
  for (auto later = row; later != shown_.end(); ++later) ++*later;
  if (Matches(entries_[index])) {
    const QSignalBlocker quiet(IrDataList);
    IrDataList->insertItem(static_cast<int>(row - shown_.begin()), FromSjis(entries_[index]));
    shown_.insert(row, index);
  }
  return index;
}

void TForm3::RemoveEntry(int index) {
  changed_numbers_.emplace(EntryNumber(entries_[index]));
  const QSignalBlocker quiet(IrDataList);
  auto row = std::lower_bound(shown_.begin(), shown_.end(), index);
  if (row != shown_.end() && *row == index) {
    delete IrDataList->takeItem(static_cast<int>(row - shown_.begin()));
    row = shown_.erase(row);
  }
  for (; row != shown_.end(); ++row) --*row;
  entries_.erase(entries_.begin() + index);
  IrDataList->setCurrentRow(-1);
}

void TForm3::ReplaceEntries(std::vector<std::string> entries) {
  std::stable_sort(entries.begin(), entries.end());
  entries_ = std::move(entries);
  RefreshList();
}

bool TForm3::Matches(const std::string& entry) const {
  if (filter_.isEmpty()) return true;
  const std::string_view number = EntryNumber(entry);
  if (QString::fromLatin1(number.data(), static_cast<qsizetype>(number.size()))
          .contains(filter_, Qt::CaseInsensitive))
    return true;
  const std::optional<RecordEntryParts> parts = SplitRecordEntry(entry);
  if (!parts) return false;
  // The decode only where number and comment do not already match: it costs the most.
  return FromSjis(parts->comment).contains(filter_, Qt::CaseInsensitive) ||
         QString::fromStdString(BriefOf(parts->data)).contains(filter_, Qt::CaseInsensitive);
}

void TForm3::RefreshList(int select) {
  shown_.clear();
  // One conversion for the whole list: a converter per entry costs more than the entries.
  // No Shift-JIS character contains a line feed byte, so the lines come apart as they went in.
  std::string joined;
  for (int i = 0; i < static_cast<int>(entries_.size()); ++i) {
    if (!Matches(entries_[i])) continue;
    shown_.push_back(i);
    joined += entries_[i];
    joined += '\n';
  }
  QStringList shown = FromSjis(joined).split(QLatin1Char('\n'));
  shown.removeLast();
  if (shown.size() != static_cast<qsizetype>(shown_.size())) {
    shown.clear();
    for (int i : shown_) shown.append(FromSjis(entries_[i]));
  }
  const QSignalBlocker quiet(IrDataList);
  IrDataList->clear();
  IrDataList->addItems(shown);
  if (const int row = RowOf(select); row >= 0) IrDataList->setCurrentRow(row);
}

void TForm3::FilterChange() {
  const QString filter = Filter->text().trimmed();
  if (filter == filter_) return;
  const int selected = SelectedIndex();
  filter_ = filter;
  RefreshList(selected);
}

void TForm3::SelectEntry(int index) {
  if (RowOf(index) < 0) {
    const QSignalBlocker quiet(Filter);
    Filter->clear();
    filter_.clear();
    RefreshList();
  }
  const int row = RowOf(index);
  if (row < 0) return;
  {
    const QSignalBlocker quiet(IrDataList);
    IrDataList->setCurrentRow(row);
  }
  IrDataList->scrollToItem(IrDataList->item(row));
  if (const std::optional<RecordEntryParts> parts = SplitRecordEntry(entries_[index]))
    ShowCode(*parts);
}

const std::string& TForm3::BriefOf(std::string_view data_text) const {
  auto known = briefs_.find(data_text);
  if (known == briefs_.end()) {
    known = briefs_
                .emplace(std::string(data_text),
                         codec::DecodeBrief(codec::Decode(SignalBlockFromText(data_text))))
                .first;
  }
  return known->second;
}

QString TForm3::RowToolTip(int row) const {
  const int index = EntryAtRow(row);
  if (index < 0) return {};
  const std::optional<RecordEntryParts> parts = SplitRecordEntry(entries_[index]);
  if (!parts) return FromSjis(entries_[index]);
  return CodeLine(FromSjis(parts->number), FromSjis(parts->comment), BriefOf(parts->data));
}

// ------------------------------------------------------------------ undo

class TForm3::EntriesChange : public QUndoCommand {
 public:
  EntriesChange(TForm3& form, const QString& what, Snapshot before, Snapshot after)
      : QUndoCommand(what), form_(form), before_(std::move(before)), after_(std::move(after)) {}

  void undo() override { form_.Restore(before_); }
  // The change is made when it is pushed; only a redo after an undo restores it.
  void redo() override {
    if (done_) form_.Restore(after_);
    done_ = true;
  }

 private:
  TForm3& form_;
  Snapshot before_;
  Snapshot after_;
  bool done_ = false;
};

TForm3::Snapshot TForm3::TakeSnapshot() const { return {entries_, changed_numbers_, modified_}; }

void TForm3::Restore(const Snapshot& snapshot) {
  const int selected = SelectedIndex();
  const std::string selected_entry = selected >= 0 ? entries_[selected] : std::string();
  entries_ = snapshot.entries;
  changed_numbers_ = snapshot.changed_numbers;
  modified_ = snapshot.modified;
  // The entry that was selected stays so where it is still there.
  int select = -1;
  if (selected >= 0) {
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), selected_entry);
    if (at != entries_.end() && *at == selected_entry)
      select = static_cast<int>(at - entries_.begin());
  }
  RefreshList(select);
  SeqNumChange();
}

void TForm3::PushChange(const QString& what, Snapshot before) {
  if (before.entries == entries_) return;
  UndoStack->push(new EntriesChange(*this, what, std::move(before), TakeSnapshot()));
}

// ------------------------------------------------------------------ operations

void TForm3::MsgOut(std::string_view text) { Message->setText(FromSjis(text)); }

void TForm3::FormShow() {
  const std::string path = host_.DataFileName();
  // The settings and the entries come from one read of the file.
  const ReadSnapshot snapshot(path);
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
  learn_cancelled_ = false;
  UndoStack->clear();
  briefs_.clear();
  {
    const QSignalBlocker quiet(Filter);
    Filter->clear();
    filter_.clear();
  }

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
  // A caption without "&" clears the button's access key: give it back.
  IrUpdate->setShortcut(QKeySequence(Qt::ALT | (in_use ? Qt::Key_U : Qt::Key_A)));
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
  ShowCode(*parts);
}

namespace {

SignalCode EntryCode(const RecordEntryParts& parts) {
  return {std::string(parts.number), std::string(parts.comment), std::string(parts.data)};
}

}  // namespace

void TForm3::SignalClick() {
  std::vector<SignalCode> codes;
  for (const Trace trace : {Trace::kUpper, Trace::kLower}) {
    if (SignalView::IsEmpty(view_->Record(trace))) continue;
    // A trace's label is its code's number, a blank and its comment.
    const std::string& label = view_->Label(trace);
    const std::size_t blank = label.find(' ');
    codes.push_back({label.substr(0, blank),
                     blank == std::string::npos ? std::string() : label.substr(blank + 1),
                     BytesToHexText(view_->Record(trace).bytes())});
  }
  if (codes.empty()) {
    const int index = SelectedIndex();
    if (index < 0) return MsgOut("Select a code to show its signal");
    return OpenSignalWindow(index);
  }
  if (signal_window_ == nullptr) signal_window_ = new SignalWindow(this);
  signal_window_->SetCodes(std::move(codes), unit_ns_);
  signal_window_->show();
  signal_window_->raise();
}

void TForm3::OpenSignalWindow(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  const std::optional<RecordEntryParts> parts = SplitRecordEntry(entries_[index]);
  if (!parts) return;
  if (signal_window_ == nullptr) signal_window_ = new SignalWindow(this);
  signal_window_->SetCodes({EntryCode(*parts)}, unit_ns_);
  signal_window_->show();
  signal_window_->raise();
}

void TForm3::ShowCode(const RecordEntryParts& parts) {
  DecodeInfo->setText(QString::fromStdString(DecodeLine(parts.data, unit_ns_)));

  std::vector<unsigned char> bytes;
  const int count = HexTextToBytes(parts.data, bytes);
  if (count < 1) return;
  std::string label(parts.number);
  if (!parts.comment.empty()) label.append(" ").append(parts.comment);
  // Bytes the text does not give are drawn as 0.
  view_->SetCurrent(SignalBlock(std::span<const unsigned char>(bytes.data(), count)),
                    std::move(label));
  DispLogic();
}

void TForm3::IrLearnClick() {
  // Learn again while the learn is awaited: the user gives it up.
  if (learning_) return CancelAwaitedLearn();
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
      learning_ = true;
      learn_cancelled_ = false;
      SeqNum->setEnabled(false);
      MsgOut(link_msg::kPushController);
      break;
    case kLearnAlreadyOn: MsgOut(link_msg::kAlreadyLearning); break;
    case kLearnBusy: MsgOut(link_msg::kBusy); break;
  }
}

void TForm3::LearnCountdown(int seconds_left) {
  // A tick that was on its way when the learn ended must not bring the prompt back.
  if (!learning_) return;
  MsgOut(link_msg::CountdownText(link_msg::kPushController, seconds_left));
}

void TForm3::CancelAwaitedLearn() {
  host_.CancelLearn();
  learning_ = false;
  learn_cancelled_ = true;
  SeqNum->setEnabled(true);
  MsgOut(kLearnCancelled);
}

void TForm3::LearnData(std::string_view text) {
  if (IsMessageText(text)) {
    learning_ = false;
    MsgOut(text);
    SeqNum->setEnabled(true);
    return;
  }
  // The reply to a learn the user gave up on.
  if (learn_cancelled_ && !learning_) return;
  const bool awaited = learning_;
  learning_ = false;
  Snapshot before = TakeSnapshot();
  const int index = StoreCode(text);
  if (index < 0) return;
  PushChange(QStringLiteral("Learn"), std::move(before));
  SelectEntry(index);
  if (codec::LooksIncomplete(SignalBlockFromText(text)))
    MsgOut(link_msg::kLooksIncomplete);
  else if (awaited)
    MsgOut(link_msg::kPushController);  // in place of the countdown, as the learn began
}

int TForm3::StoreCode(std::string_view text) {
  IrData->setText(FromSjis(text));
  IrData->setCursorPosition(0);
  int seq_num = 0;
  if (!TryStrToInt(Bytes(SeqNum), seq_num)) {
    // Reached only from the link, whose reply handler must not be unwound: the code stays in
    // IrData for an Append under a proper number.
    ShowException(ConversionError(SeqNum->text().toStdString()));
    SeqNum->setEnabled(true);
    return -1;
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
  const int index = AddEntry(std::move(entry));

  modified_ = true;
  SeqNum->setEnabled(true);
  return index;
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

  Snapshot before = TakeSnapshot();
  const bool update = IrUpdate->text() == kUpdate;
  if (update) {
    const int index = SelectedIndex();
    if (index >= 0) RemoveEntry(index);
  }
  const int index = StoreCode(data);
  SeqNumChange();
  MsgOut("");
  modified_ = true;
  PushChange(update ? kUpdate : kAppend, std::move(before));
  if (index >= 0) SelectEntry(index);
}

void TForm3::IrDeleteClick() {
  const int index = SelectedIndex();
  if (index < 0) {
    MsgOut("Please Select Data");
    return;
  }
  if (prompt(this, QStringLiteral("削除してもよろしいですか？"), QStringLiteral("削除確認"))) {
    Snapshot before = TakeSnapshot();
    RemoveEntry(index);
    SeqNumChange();
    modified_ = true;
    PushChange(QStringLiteral("Delete"), std::move(before));
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
  // A reply after the save would land in a list that is gone.
  if (learning_) CancelAwaitedLearn();
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
  Snapshot before = TakeSnapshot();
  for (const std::string& entry : imported.entries) AddEntry(entry);
  if (!imported.entries.empty()) modified_ = true;
  PushChange(QStringLiteral("Import"), std::move(before));
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
  if (result == 0) LabelTrace(trace);
  return result;
}

void TForm3::DispTypeClick() { DispLogic(); }

void TForm3::Logic1Click() { SwitchTrace(Trace::kUpper); }

void TForm3::Logic2Click() { SwitchTrace(Trace::kLower); }

void TForm3::SwitchTrace(Trace trace) {
  Image1->BeginBatch();
  const int result = view_->SwitchTrace(trace, DispType->currentRow());
  Image1->EndBatch();
  if (result == 0) LabelTrace(trace);
}

// The label sits inside the trace under its high line, mostly in the leader's pulse; it takes
// only white pixels, so no line of the waveform changes.
void TForm3::LabelTrace(Trace trace) {
  const std::string& label = view_->Label(trace);
  if (label.empty()) return;
  const TraceGeometry g =
      SignalView::Geometry(trace, Image1->ClientWidth(), Image1->ClientHeight());
  Image1->UnderlayText(QRect(QPoint(g.left_margin + 3, g.high_line + 2),
                             QPoint(Image1->ClientWidth() - 2, g.low_line - 2)),
                       FromSjis(label));
}

void TForm3::RedrawTraces() {
  for (const Trace trace : {Trace::kUpper, Trace::kLower}) {
    Image1->BeginBatch();
    const int result = view_->Redraw(trace);
    Image1->EndBatch();
    if (result == 0) LabelTrace(trace);
  }
}

}  // namespace kavro
