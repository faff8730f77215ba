#include "mainwin/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>

#include "codec/decode.h"
#include "datafile/data_file_name.h"
#include "datafile/file_error.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/signal_block.h"
#include "datafile/sjis.h"
#include "datafile/store.h"
#include "gui/error_display.h"
#include "gui/gui_text.h"
#include "library/code_library_window.h"
#include "link/controller_link.h"
#include "link/controller_stack.h"
#include "link/link_messages.h"
#include "link/serial_devices.h"
#include "mainwin/about_dialog.h"
#include "mainwin/key_look.h"
#include "mainwin/link_names.h"
#include "mainwin/page_learn.h"
#include "mainwin/port_setting.h"

namespace kavro {

namespace {

constexpr int kClientWidth = 160;
constexpr int kClientHeight = 346;
constexpr int kMaxLogLines = 500;  // more than this and the oldest line goes
constexpr int kLogLineHeight = 12;

// Between two keys of a page learn: time to see the result and let go of the remote's button, so
// a button still held is not learned into the next key as well.
constexpr std::chrono::milliseconds kPageLearnPause{700};
// How long a key that was just learned stays marked.
constexpr std::chrono::milliseconds kLearnedFlash{1000};
// List rows get hold ids of their own beside the pad keys' positions.
constexpr int kFirstRowHoldId = 100;

const char kSavePromptText[] = "変更データを保存しますか？";
const char kSavePromptCaption[] = "保存確認";

char FirstChar(const std::string& value) { return value.empty() ? '\0' : value.front(); }

}  // namespace

TForm1::TForm1(MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent),
      setup_(std::move(setup)),
      stack_(std::make_unique<ControllerStack>(*this, setup_.ticks)),
      link_(&stack_->Link()) {
  // A connect or send failure surfaces in the error display. Queued, so the box never opens
  // inside the socket's own signal.
  stack_->Tcp().SetErrorHandler([this](const std::string& text) {
    QMetaObject::invokeMethod(
        this, [message = QString::fromStdString(text)] { ShowErrorText(message); },
        Qt::QueuedConnection);
  });

  later = [this](std::chrono::milliseconds delay, std::function<void()> action) {
    QTimer::singleShot(delay, this, Guarded(std::move(action)));
  };
  inform = [](QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Learn page"), text);
  };
  link_->SetEndObserver([this](const ExchangeEnd& end) { OnExchangeEnd(end); });

  BuildWindow();
  ConnectHandlers();
}

TForm1::~TForm1() {
  // Nothing that ends now may reach the window being taken apart.
  link_->SetEndObserver(nullptr);
  walk_.reset();
  if (!destroyed_) {
    try {
      FormDestroy();
    } catch (...) {
      ShowCurrentException();
    }
  }
  // The pages go before the link does: taking the notebook apart must not reach a handler.
  delete takeCentralWidget();
}

const TcpChannel& TForm1::ClientSocket1() const { return stack_->Tcp(); }

const CodeTable& TForm1::Codes() const { return stack_->Codes(); }

void TForm1::BuildWindow() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Kavro"));
  const QFont design = DesignFont();
  setFont(design);

  menu_ = BuildMainMenu(menuBar());
  for (QMenu* menu : {menu_.file, menu_.page, menu_.com}) menu->setFont(design);

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  note1_ = new QTabWidget(client);
  note1_->setObjectName(QStringLiteral("Note1"));
  note1_->setGeometry(0, 0, 161, 345);
  pad_ = BuildPadPage(note1_);
  list_ = BuildCodeListPage(note1_);
  io_ = BuildIoPage(note1_);
  note1_->addTab(pad_.page, QStringLiteral("IR1"));
  note1_->addTab(list_.page, QStringLiteral("IR2"));
  note1_->addTab(io_.page, QStringLiteral("I/O"));

  // Fixed border: the client area is exactly its design size, the menu bar above it.
  const int bar = menuBar()->heightForWidth(kClientWidth);
  setFixedSize(kClientWidth, kClientHeight + (bar > 0 ? bar : menuBar()->sizeHint().height()));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TForm1::ConnectHandlers() {
  connect(note1_, &QTabWidget::currentChanged, this,
          [this](int index) { Guarded([this, index] { Note1Change(index); })(); });

  for (int p = 0; p < 3; ++p)
    connect(menu_.pages[p], &QAction::triggered, this,
            Guarded([this, p] { SelectPadPage(p + 1); }));
  for (int c = 0; c < 6; ++c)
    connect(menu_.ports[c], &QAction::triggered, this, Guarded([this, c] { ComLanClick(c + 1); }));
  connect(menu_.disconnect, &QAction::triggered, this, Guarded([this] { DisConnectD1Click(); }));
  connect(menu_.management, &QAction::triggered, this, Guarded([this] { management1Click(); }));
  connect(menu_.version, &QAction::triggered, this, Guarded([this] { VersionV1Click(); }));
  connect(menu_.exit, &QAction::triggered, this, Guarded([this] { ExitClick(); }));
  connect(menu_.learn, &QAction::triggered, this, Guarded([this] { LearnL1Click(); }));
  connect(menu_.learn_page, &QAction::triggered, this, Guarded([this] { LearnPageClick(); }));

  // A send key sends on its click; held down, it sends again and again (HoldRepeat).
  auto connect_key = [this](QAbstractButton* button, int id, std::function<void()> send) {
    connect(button, &QAbstractButton::pressed, this,
            Guarded([this, id, send] { KeyPressed(id, send); }));
    connect(button, &QAbstractButton::released, this, Guarded([this, id] { KeyReleased(id); }));
    connect(button, &QAbstractButton::clicked, this,
            Guarded([this, id, send] { KeyClicked(id, send); }));
  };
  const std::span<const PadKey> keys = PadKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const PadKey* key = &keys[i];
    connect_key(pad_.keys[i], static_cast<int>(i), [this, key] { PadKeyClick(*key); });
  }
  connect(pad_.tv_vtr, &QAbstractButton::clicked, this, Guarded([this] { SpeedButton7Click(); }));

  connect(list_.page_left, &QAbstractButton::clicked, this, Guarded([this] { PageLeftClick(); }));
  connect(list_.page_right, &QAbstractButton::clicked, this, Guarded([this] { PageRightClick(); }));
  for (int i = 0; i < kListRows; ++i)
    connect_key(list_.rows[i], kFirstRowHoldId + i, [this, i] { RBClick(i + 1); });

  // Keys of the whole window. Skip and the list's paging keys are on only where they apply, so
  // Space still presses a focused key and PageUp/PageDown still scroll the log.
  auto shortcut = [this](Qt::Key key, bool enabled, auto handler) {
    auto* s = new QShortcut(QKeySequence(key), this);
    s->setEnabled(enabled);
    connect(s, &QShortcut::activated, this, Guarded(handler));
    return s;
  };
  shortcut(Qt::Key_Escape, true, [this] { EscapeKey(); });
  skip_right_ = shortcut(Qt::Key_Right, false, [this] { SkipKey(); });
  skip_space_ = shortcut(Qt::Key_Space, false, [this] { SkipKey(); });
  list_up_ = shortcut(Qt::Key_PageUp, false, [this] { PageLeftClick(); });
  list_down_ = shortcut(Qt::Key_PageDown, false, [this] { PageRightClick(); });

  connect(io_.out_port, &QAbstractButton::clicked, this, Guarded([this] { OutPortClick(); }));
  connect(io_.in_port, &QAbstractButton::clicked, this, Guarded([this] { InPortClick(); }));
  connect(io_.in_data, &QAbstractButton::clicked, this, Guarded([this] { InDataClick(); }));
  connect(io_.send_data, &QAbstractButton::clicked, this, Guarded([this] { SendDataClick(); }));
}

// ---------------------------------------------------------------- showing and destroying

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Un-minimising is no new showing.
  if (event->spontaneous()) return;
  try {
    FormShow();
  } catch (...) {
    ShowCurrentException();
  }
}

// Every showing starts from the file, so that what the code library window changed, or a hand
// edit made meanwhile, is what the main window shows.
void TForm1::FormShow() {
  // Back to the pad; a change raises Note1Change as a click would.
  note1_->setCurrentIndex(0);
  for (QLineEdit* field : {io_.out_adr, io_.out_data, io_.in_adr, io_.send_buff}) field->clear();
  MsgOut("");
  // The table mirrors the file after the reload: comments of codes no longer stored go too.
  stack_->Codes().ClearDataAndFlags();
  for (int code = CodeTable::kFirstCode; code <= CodeTable::kLastCode; ++code)
    stack_->Codes().SetComment(code, "");
  FixDataFileName();
  // Thirty settings and the codes come from one read of the file.
  const ReadSnapshot snapshot(data_file_name_);
  LoadLinkSettings();
  LoadWindowSettings();
  LoadExtLabels();
  // The codes before the page: selecting it draws the keys from what they hold.
  LoadCodes();
  const std::string& file = data_file_name_;
  std::string value;
  ReadKeyValue(file, kPadPageSetting.section, kPadPageSetting.key, value, kPadPageSetting.deflt);
  const char page = FirstChar(value);
  SelectPadPage(page == '3' ? 3 : page == '2' ? 2 : 1);
  ReadKeyValue(file, kListPageSetting.section, kListPageReadKey, value, kListPageSetting.deflt);
  if (!value.empty()) {
    if (std::optional<int> stored = LeadingDecimal(value)) list_page_ = *stored;
  }
  list_.comment->clear();
  list_.comment->hide();
  list_.comment_label->clear();
  PageDisplay();
}

// The data file is decided again at every showing (the rule depends on the folder being
// writable). A file that is there but cannot be read is said at once: the defaults shown
// instead must not look like the user's settings, and nothing is written over it.
void TForm1::FixDataFileName() {
  const kavro::DataFileName name = ResolveDataFileName(setup_.args, setup_.exe_path);
  data_file_name_ = name.path;
  if (!name.note.empty()) std::fprintf(stderr, "kavro: %s\n", name.note.c_str());
  link_->SetDataFileName(data_file_name_);
  if (const FileError error = ProbeReadable(data_file_name_)) {
    ShowErrorText(QStringLiteral("The data file cannot be read, so the defaults are shown: ") +
                  FileErrorQText(data_file_name_, error));
  }
}

// Which port or server the link uses, and the devices behind the ports.
void TForm1::LoadLinkSettings() {
  const std::string& file = data_file_name_;
  // Every read of a missing section scans the whole file; one look saves a scan per key.
  LoadSerialDevices(SectionHasLines(file, kSerialSection) ? file : std::string());
  std::string value;
  ReadKeyValue(file, kComSetting.section, kComSetting.key, value, kComSetting.deflt);
  const char com = FirstChar(value);
  const int choice = (com >= '2' && com <= '6') ? com - '0' : 1;
  menu_.ports[choice - 1]->setChecked(true);
  link_->SetPortChoice(choice);
  ReadKeyValue(file, kLanHostSetting.section, kLanHostSetting.key, value, kLanHostSetting.deflt);
  link_->SetTcpHost(value);
  // The items say what they use; named before the port is read, so that a bad port still
  // leaves the devices and the host as they are now.
  ShowPortItemTexts(menu_, stack_->Tcp().Host(), stack_->Tcp().Port());
  // A port that is no number stops the showing here; the error display reports it.
  ReadKeyValue(file, kLanPortSetting.section, kLanPortSetting.key, value, kLanPortSetting.deflt);
  link_->SetTcpPort(PortFromSetting(value));
  ShowPortItemTexts(menu_, stack_->Tcp().Host(), stack_->Tcp().Port());
}

// The pad mode and staying on top. Both only ever switch on: a showing never undoes what the
// user chose during the run.
void TForm1::LoadWindowSettings() {
  const std::string& file = data_file_name_;
  std::string value;
  ReadKeyValue(file, kTvVtrSetting.section, kTvVtrSetting.key, value, kTvVtrSetting.deflt);
  if (FirstChar(value) == '1') {
    pad_.tv_vtr->setText(QStringLiteral("VTR"));
    tv_vtr_offset_ = kVtrOffset;
  }
  ReadKeyValue(file, kStayOnTopSetting.section, kStayOnTopSetting.key, value,
               kStayOnTopSetting.deflt);
  if (value == "true" && !(windowFlags() & Qt::WindowStaysOnTopHint)) {
    const Qt::WindowFlags flags = windowFlags() | Qt::WindowStaysOnTopHint;
    if (QWindow* window = windowHandle()) {
      // Setting the widget's flags would hide the window being shown; tell the window system
      // directly and keep the widget's record in step.
      window->setFlags(flags);
      overrideWindowFlags(flags);
    } else {
      setWindowFlags(flags);
    }
  }
}

void TForm1::LoadExtLabels() { ext_label_ = ReadExtLabels(data_file_name_); }

void TForm1::LoadCodes() {
  std::string line = "start";
  if (ReadSectionLine(data_file_name_, kDataSection, line) == 0) {
    do {
      if (std::optional<CodeRecord> record = ReadMainWindowRecordLine(line)) {
        stack_->Codes().SetData(record->number, record->text.data);
        stack_->Codes().SetComment(record->number, record->text.comment);
      }
      line = "next";
    } while (ReadSectionLine(data_file_name_, kDataSection, line) == 0);
  }
  std::string end = "end";
  ReadSectionLine(data_file_name_, kDataSection, end);
}

// The end of the run: the link is closed first, so no reply can change a code while it is
// saved; then the settings, and the learned codes if the user agrees.
void TForm1::FormDestroy() {
  destroyed_ = true;
  link_->CloseLink();
  const bool changed = stack_->Codes().AnyChanged();
  SaveSettings();
  if (changed) AskAndSaveChangedCodes();
}

// Settings are written only where they differ from the file, so an unchanged run leaves the
// file as it was (also its time stamp).
void TForm1::SaveSettings() {
  const std::string& file = data_file_name_;
  WriteSettingIfFirstCharDiffers(kComSetting.section, kComSetting.key, kComSetting.deflt,
                                 std::to_string(CheckedPortChoice()));
  WriteSettingIfFirstCharDiffers(kPadPageSetting.section, kPadPageSetting.key,
                                 kPadPageSetting.deflt, std::to_string(CheckedPadPage()));
  std::string value;
  ReadKeyValue(file, kListPageSetting.section, kListPageSetting.key, value, kListPageSetting.deflt);
  if (value.empty()) value = "0";
  const std::optional<int> stored_list_page = LeadingDecimal(value);
  if (!stored_list_page || *stored_list_page != list_page_)
    WriteKeyValue(file, kListPageSetting.section, kListPageSetting.key, std::to_string(list_page_));
  // A stored value other than 0 or 1 is left alone.
  ReadKeyValue(file, kTvVtrSetting.section, kTvVtrSetting.key, value, kTvVtrSetting.deflt);
  if (FirstChar(value) == '0' && tv_vtr_offset_ != 0)
    WriteKeyValue(file, kTvVtrSetting.section, kTvVtrSetting.key, "1");
  else if (FirstChar(value) == '1' && tv_vtr_offset_ == 0)
    WriteKeyValue(file, kTvVtrSetting.section, kTvVtrSetting.key, "0");
}

void TForm1::WriteSettingIfFirstCharDiffers(std::string_view section, std::string_view key,
                                            std::string_view deflt, const std::string& value) {
  std::string stored;
  ReadKeyValue(data_file_name_, section, key, stored, deflt);
  if (FirstChar(stored) != FirstChar(value)) WriteKeyValue(data_file_name_, section, key, value);
}

bool TForm1::AskAndSaveChangedCodes() {
  if (!prompt(this, QString::fromUtf8(kSavePromptText), QString::fromUtf8(kSavePromptCaption)))
    return false;
  FileError first_error;
  for (int code = CodeTable::kFirstCode; code <= CodeTable::kLastCode; ++code) {
    if (!stack_->Codes().Changed(code)) continue;
    FileError error;
    const int result = WriteKeyValue(
        data_file_name_, kDataSection, RecordKey(code),
        RecordValue(stack_->Codes().Data(code), stack_->Codes().Comment(code)), &error);
    // A code that could not be written stays marked, and the user hears of it and why.
    if (result == 0)
      stack_->Codes().SetChanged(code, false);
    else if (!first_error)
      first_error = error ? error : FileError{FileFault::kIoError, 0};
  }
  if (first_error) {
    ShowErrorText(QStringLiteral("The learned codes could not be saved to the data file: ") +
                  FileErrorQText(data_file_name_, first_error));
  }
  return true;
}

// Hidden (the code library takes over, or the run ends): a page learn or a held key ends here.
void TForm1::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (event->spontaneous()) return;
  StopPageLearn(false);
  if (hold_.HeldKey() >= 0) KeyReleased(hold_.HeldKey());
}

void TForm1::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  run_over_ = true;
  emit closed();
}

// ---------------------------------------------------------------- notebook, menu, status line

void TForm1::Note1Change(int new_tab) {
  StopPageLearn(false);
  menu_.learn_page->setEnabled(new_tab == 0);
  list_up_->setEnabled(new_tab == 1);
  list_down_->setEnabled(new_tab == 1);
  pad_.message->clear();
  list_.message->clear();
  link_->LearnModeOff();
  switch (new_tab) {
    case 2:
      setWindowTitle(QStringLiteral("Kavro"));
      menu_.learn->setEnabled(false);
      menu_.page->menuAction()->setEnabled(false);
      break;
    case 1:
      setWindowTitle(QStringLiteral("Kavro"));
      menu_.learn->setEnabled(true);
      menu_.page->menuAction()->setEnabled(false);
      break;
    default:
      setWindowTitle(QStringLiteral("Kavro(page%1)").arg(CheckedPadPage()));
      menu_.learn->setEnabled(true);
      menu_.page->menuAction()->setEnabled(true);
      break;
  }
}

void TForm1::SelectPadPage(int page) {
  StopPageLearn(true);
  setWindowTitle(QStringLiteral("Kavro(page%1)").arg(page));
  menu_.pages[page - 1]->setChecked(true);
  for (int label = 0; label < kExtKeyCount; ++label) {
    const QString caption = FromSjis(ext_label_[page - 1][label]);
    pad_.ext[label]->setText(caption);
  }
  RefreshPadLooks();
}

int TForm1::CheckedPadPage() const {
  if (menu_.pages[0]->isChecked()) return 1;
  if (menu_.pages[1]->isChecked()) return 2;
  return 3;
}

int TForm1::CheckedPortChoice() const {
  for (int c = 0; c < 5; ++c)
    if (menu_.ports[c]->isChecked()) return c + 1;
  return kTcpPort;
}

void TForm1::MsgOut(std::string_view text) {
  switch (note1_->currentIndex()) {
    case 0: pad_.message->setText(FromSjis(text)); return;
    case 1: list_.message->setText(FromSjis(text)); return;
    default: break;
  }
  QListWidget* log = io_.log;
  if (log->count() > kMaxLogLines) delete log->takeItem(0);
  auto* item = new QListWidgetItem(FromSjis(text));
  item->setSizeHint(QSize(0, kLogLineHeight));
  io_.traffic->Stamp(*item);
  log->addItem(item);
  if (log->count() >= 5)
    log->scrollToItem(log->item(log->count() - 5), QAbstractItemView::PositionAtTop);
}

LinkPage TForm1::ShownPage() const {
  switch (note1_->currentIndex()) {
    case 1: return LinkPage::kCodeList;
    case 2: return LinkPage::kIo;
    default: return LinkPage::kPad;
  }
}

int TForm1::PadBase() const { return PadCode(CheckedPadPage(), 0); }

void TForm1::VersionV1Click() {
  if (about_ == nullptr && make_about_) about_ = make_about_();
  if (about_ == nullptr) return;
  // A name given as typed ("kavro.dat") says nothing of where the file is.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(data_file_name_, error);
  about_->FileNameSet(error || data_file_name_.empty() ? data_file_name_ : absolute.string());
  // An open link is the one in use; a closed one is what the next frame opens.
  const bool open = link_->LinkPort() != kLinkClosed;
  const TcpChannel& tcp = stack_->Tcp();
  about_->LinkStateSet(LinkStateLine(
      LinkName(open ? link_->LinkPort() : link_->PortChoice(), tcp.Host(), tcp.Port()), open));
  about_->show();
  setEnabled(false);
}

void TForm1::management1Click() {
  if (stack_->Codes().AnyChanged() && !AskAndSaveChangedCodes()) {
    for (int code = CodeTable::kFirstCode; code <= CodeTable::kLastCode; ++code)
      stack_->Codes().SetChanged(code, false);
  }
  if (library_ == nullptr && make_library_) library_ = make_library_();
  if (library_ != nullptr) library_->show();
  hide();
}

void TForm1::ExitClick() { close(); }

void TForm1::ComLanClick(int choice) {
  menu_.ports[choice - 1]->setChecked(true);
  link_->SetPortChoice(choice);
}

void TForm1::DisConnectD1Click() {
  StopPageLearn(true);
  link_->DisConnectD1Click();
}

void TForm1::LearnL1Click() {
  // During a page learn, learn mode is the walk's: the menu ends the walk as Esc does.
  if (walk_) return StopPageLearn(true);
  link_->LearnL1Click();
}

void TForm1::EscapeKey() {
  if (walk_) return StopPageLearn(true);
  // A learn for the code library is the library's to give up.
  if (link_->LibraryFlag()) return;
  if (link_->State() != kLearning && !link_->LearnMode()) return;
  link_->CancelLearn();
  if (ShownPage() == LinkPage::kIo) return;  // a status line, not a log line
  MsgOut("");
  if (ShownPage() == LinkPage::kCodeList) ShowLearnDisplay(false);
}

// ---------------------------------------------------------------- remote pad

void TForm1::PadKeyClick(const PadKey& key) { link_->Send(SentKeyIndex(key, tv_vtr_offset_)); }

void TForm1::SpeedButton7Click() {
  StopPageLearn(true);
  MsgOut("");
  if (tv_vtr_offset_ == 0) {
    pad_.tv_vtr->setText(QStringLiteral("VTR"));
    tv_vtr_offset_ = kVtrOffset;
  } else {
    pad_.tv_vtr->setText(QStringLiteral("TV"));
    tv_vtr_offset_ = 0;
  }
  RefreshPadLooks();
}

// ---------------------------------------------------------------- what the keys hold

int TForm1::PadKeyOfCode(int code) const {
  const std::span<const PadKey> keys = PadKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const int key = SentKeyIndex(keys[i], tv_vtr_offset_);
    if (PadCode(CheckedPadPage(), key) == code) return static_cast<int>(i);
  }
  return -1;
}

void TForm1::RefreshPadLooks() {
  const std::span<const PadKey> keys = PadKeys();
  const int page = CheckedPadPage();
  const PageLearn::Key* waiting = walk_ ? walk_->Current() : nullptr;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const PadKey& key = keys[i];
    const int code = PadCode(page, SentKeyIndex(key, tv_vtr_offset_));
    KeyMark mark = KeyMark::kNone;
    if (static_cast<int>(i) == flash_key_)
      mark = KeyMark::kLearned;
    else if (waiting != nullptr && waiting->pad_key == i)
      mark = KeyMark::kCurrent;
    QAbstractButton* button = pad_.keys[i];
    ShowKeyLook(button, PadKeyColor(key.color), !Codes().Data(code).empty(), mark);
    QString tip = KeyCodeLine(Codes(), code);
    // An extension caption wider than its key is drawn cut; the whole of it is one hover away.
    if (key.index >= kFirstExtIndex) tip = button->text() + QLatin1Char('\n') + tip;
    button->setToolTip(PlainToolTip(tip));
  }
}

void TForm1::RefreshListLooks() {
  const QColor caption = list_.page->palette().color(QPalette::ButtonText);
  for (int i = 0; i < kListRows; ++i) {
    const int code = list_page_ * kListRows + i + 1;
    ShowKeyLook(list_.rows[i], caption, !Codes().Data(code).empty(), KeyMark::kNone);
    list_.rows[i]->setToolTip(PlainToolTip(KeyCodeLine(Codes(), code)));
  }
}

void TForm1::FlashLearnedKey(int pad_key) {
  flash_key_ = pad_key;
  RefreshPadLooks();
  if (pad_key < 0) return;
  const unsigned token = ++flash_token_;
  later(kLearnedFlash, [this, token] {
    if (token != flash_token_) return;
    flash_key_ = -1;
    RefreshPadLooks();
  });
}

void TForm1::OnExchangeEnd(const ExchangeEnd& end) {
  // A learn for the code library goes there; the rest is the main window's.
  const bool ours = !link_->LibraryFlag();
  if (ours && end.kind == ExchangeEnd::Kind::kLearned) {
    // Stored as it came all the same: the user decides whether to learn again.
    const bool incomplete = codec::LooksIncomplete(SignalBlockFromText(end.data));
    if (incomplete) MsgOut(link_msg::kLooksIncomplete);
    if (walk_) walk_->Learned(incomplete);
    if (ShownPage() == LinkPage::kPad)
      FlashLearnedKey(PadKeyOfCode(link_->LearnTarget()));
    else
      RefreshListLooks();
    if (walk_) WalkAfterPause();
  } else if (walk_ && ours &&
             (end.kind == ExchangeEnd::Kind::kLearnFailed ||
              end.kind == ExchangeEnd::Kind::kTimeout)) {
    // The same key again: the status line says what went wrong until the learn restarts.
    WalkAfterPause();
  } else if (walk_ && end.kind == ExchangeEnd::Kind::kDeviceGone) {
    StopPageLearn(false);
  }
  if (hold_.HeldKey() >= 0) ScheduleHoldSend();
}

// ---------------------------------------------------------------- hold to repeat

void TForm1::KeyPressed(int key, std::function<void()> send) {
  if (walk_) return;
  hold_send_ = std::move(send);
  // In learn mode a press learns once, however long it is held.
  hold_.Press(key, !link_->LearnMode());
  ScheduleHoldSend();
}

void TForm1::KeyReleased(int key) {
  hold_.Release(key);
  if (hold_.HeldKey() < 0) ++hold_token_;  // a wake-up already asked for finds nothing to do
}

void TForm1::KeyClicked(int key, const std::function<void()>& send) {
  if (walk_) return;
  if (hold_.ClickSends(key)) send();
}

void TForm1::ScheduleHoldSend() {
  const std::optional<HoldRepeat::Millis> due =
      hold_.NextSendIn(!link_->Busy() && !link_->LearnMode());
  if (!due) return;
  const unsigned token = ++hold_token_;
  later(*due, [this, token] {
    if (token == hold_token_) HoldSendDue();
  });
}

void TForm1::HoldSendDue() {
  const std::optional<HoldRepeat::Millis> due =
      hold_.NextSendIn(!link_->Busy() && !link_->LearnMode());
  if (!due) return;
  if (due->count() > 0) return ScheduleHoldSend();
  hold_.Started();
  hold_send_();
}

// ---------------------------------------------------------------- learning a whole pad page

void TForm1::LearnPageClick() {
  if (walk_ || ShownPage() != LinkPage::kPad) return;
  if (link_->Busy()) return MsgOut(link_msg::kBusy);
  walk_ = std::make_unique<PageLearn>(PageLearn::KeysOfPage(CheckedPadPage(), tv_vtr_offset_));
  skip_right_->setEnabled(true);
  skip_space_->setEnabled(true);
  WalkLearnCurrent();
}

// Learns the key the walk waits for, through the link as a press of that key in learn mode
// does, so the code is stored, named and marked changed exactly as a single learn's.
void TForm1::WalkLearnCurrent() {
  const PageLearn::Key* key = walk_->Current();
  if (key == nullptr) return StopPageLearn(true);
  RefreshPadLooks();
  if (!link_->LearnMode()) link_->LearnL1Click();
  try {
    link_->Send(key->send_key);
  } catch (...) {
    StopPageLearn(false);
    throw;
  }
  // Refused (the link said why on the status line): the walk cannot go on.
  if (link_->State() != kLearning) return StopPageLearn(false);
  MsgOut(walk_->Prompt());
}

void TForm1::WalkAfterPause() {
  if (walk_->Current() == nullptr) return StopPageLearn(true);
  RefreshPadLooks();  // the next key is marked at once, so Skip plainly means that key
  const unsigned token = ++walk_token_;
  later(kPageLearnPause, [this, token] {
    if (token == walk_token_ && walk_) WalkLearnCurrent();
  });
}

void TForm1::SkipKey() {
  if (!walk_) return;
  walk_->Skip();
  ++walk_token_;
  if (link_->State() == kLearning && !link_->LibraryFlag()) link_->CancelLearn();
  WalkLearnCurrent();
}

void TForm1::StopPageLearn(bool tell) {
  if (!walk_) return;
  const std::unique_ptr<PageLearn> walk = std::move(walk_);
  ++walk_token_;
  skip_right_->setEnabled(false);
  skip_space_->setEnabled(false);
  if (!link_->LibraryFlag() && (link_->State() == kLearning || link_->LearnMode()))
    link_->CancelLearn();
  RefreshPadLooks();
  if (!tell) return;
  const std::string summary = walk->Summary();
  MsgOut(summary);
  if (walk->AnyDone() && inform) {
    // Not inside the link's handler that ended the walk: the box waits for the user.
    later(std::chrono::milliseconds{0},
          [this, text = QString::fromStdString(summary)] { inform(this, text); });
  }
}

// ---------------------------------------------------------------- code list

void TForm1::PageDisplay() {
  if (list_page_ < 0 || list_page_ >= kListPages) list_page_ = 0;
  for (int i = 1; i <= kListRows; ++i) {
    const int code = list_page_ * kListRows + i;
    list_.rows[i - 1]->setText(QString::number(code));
    list_.comments[i - 1]->setText(FromSjis(stack_->Codes().Comment(code)));
  }
  RefreshListLooks();
}

void TForm1::PageLeftClick() {
  if (--list_page_ < 0) list_page_ = kListPages - 1;
  PageDisplay();
  MsgOut("");
}

void TForm1::PageRightClick() {
  if (++list_page_ >= kListPages) list_page_ = 0;
  PageDisplay();
  MsgOut("");
}

void TForm1::RBClick(int row) { link_->Send(row); }

std::string TForm1::CommentText() const { return ToSjisCut(list_.comment->text(), kCommentSlot); }

void TForm1::SetCommentText(std::string_view text) { list_.comment->setText(FromSjis(text)); }

void TForm1::HideComment() { list_.comment->hide(); }

void TForm1::ShowLearnDisplay(bool on) {
  list_.comment->setVisible(on);
  list_.comment_label->setText(on ? QStringLiteral("Comment") : QString());
}

// ---------------------------------------------------------------- I/O page

void TForm1::OutPortClick() {
  link_->OutPort(ToSjis(io_.out_adr->text()), ToSjis(io_.out_data->text()));
}

void TForm1::InPortClick() { link_->InPort(ToSjis(io_.in_adr->text())); }

void TForm1::InDataClick() { link_->InData(); }

void TForm1::SendDataClick() { link_->SendData(ToSjis(io_.send_buff->text())); }

// ---------------------------------------------------------------- the code library window

void TForm1::LearnData(std::string_view text) {
  if (library_ != nullptr) library_->LearnData(text);
}

SetLearnModeResult TForm1::SetLearnMode() { return link_->SetLearnMode(); }

void TForm1::CancelLearn() { link_->CancelLearn(); }

void TForm1::LearnCountdown(int seconds_left) {
  if (link_->LibraryFlag()) {
    if (library_ != nullptr) library_->LearnCountdown(seconds_left);
    return;
  }
  if (walk_) return MsgOut(link_msg::CountdownText(walk_->Prompt() + ":", seconds_left));
  MsgOut(link_msg::CountdownText(link_msg::kPushController, seconds_left));
}

SendIrDataResult TForm1::SendIrData(std::string_view data_text) {
  return link_->SendIrData(data_text);
}

void TForm1::ShowMainWindow() {
  // Once the run is ending, the library window going away must not reload the codes that are
  // about to be saved.
  if (run_over_ || destroyed_) return;
  show();
}

void TForm1::EnableMainWindow() { setEnabled(true); }

}  // namespace kavro
