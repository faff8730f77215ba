// The main window: the notebook with the remote pad ("IR1"), the code list ("IR2") and the
// digital I/O page ("I/O"), the menu, the status lines and the log. It owns the link to the
// controller, the code table and the settings in memory; every showing reloads them from the
// data file and its destruction writes back what changed.
#pragma once

#include <QMainWindow>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/pad_keys.h"
#include "gui/ok_cancel_prompt.h"
#include "library/library_host.h"
#include "link/code_table.h"
#include "link/link_ui.h"
#include "mainwin/code_list_page.h"
#include "mainwin/hold_repeat.h"
#include "mainwin/io_page.h"
#include "mainwin/main_menu.h"
#include "mainwin/pad_page.h"

class QShortcut;
class QTabWidget;

namespace kavro {

class ControllerStack;
class ControllerLink;
class PageLearn;
struct ExchangeEnd;
class TForm2;
class TForm3;
class TcpChannel;
class TickSource;

struct MainWindowSetup {
  // The command-line arguments after the program's name, and the program's full path: they
  // decide the data file at every showing.
  std::vector<std::string> args;
  std::string exe_path;
  // The link's reply clock; when null the window runs its own 100 ms timer (Timer1). Tests hand
  // in a clock they tick by hand.
  TickSource* ticks = nullptr;
};

class TForm1 : public QMainWindow, public LinkUi, public LibraryHost {
  Q_OBJECT

 public:
  explicit TForm1(MainWindowSetup setup, QWidget* parent = nullptr);
  // Runs FormDestroy (closes the link, saves what changed) unless it has run already.
  ~TForm1() override;

  // The other two windows, set as they are or made by the makers when first needed: making
  // them costs start-up time, and most runs never open them. Until then a window is null, and
  // what the link has for the library window goes nowhere.
  void SetAboutDialog(TForm2* about) { about_ = about; }
  void SetLibraryWindow(TForm3* library) { library_ = library; }
  void SetAboutDialogMaker(std::function<TForm2*()> maker) { make_about_ = std::move(maker); }
  void SetLibraryWindowMaker(std::function<TForm3*()> maker) { make_library_ = std::move(maker); }

  // --- handlers ---
  void FormShow();
  void FormDestroy();
  void Note1Change(int new_tab);
  void Page11Click() { SelectPadPage(1); }
  void Page21Click() { SelectPadPage(2); }
  void Page31Click() { SelectPadPage(3); }
  void VersionV1Click();
  void management1Click();
  void ExitClick();
  // Every key of the remote pad but the TV/VTR key.
  void PadKeyClick(const PadKey& key);
  void SpeedButton7Click();
  void PageLeftClick();
  void PageRightClick();
  // RB1Click..RB10Click: the list row 1..10.
  void RBClick(int row);
  void OutPortClick();
  void InPortClick();
  void InDataClick();
  void SendDataClick();
  // COM12Click..COM52Click, RaViz1Click: port choice 1..6.
  void ComLanClick(int choice);
  void DisConnectD1Click();
  void LearnL1Click();
  // "Learn page…": learns every key of the shown pad page in turn.
  void LearnPageClick();
  // Esc: gives up an awaited learn (or learn mode), or stops a page learn.
  void EscapeKey();
  // Right or Space during a page learn: leaves the key it waits for unlearned.
  void SkipKey();

  // --- LinkUi ---
  void MsgOut(std::string_view text) override;
  LinkPage ShownPage() const override;
  int PadBase() const override;
  int ListPage() const override { return list_page_; }
  std::string CommentText() const override;
  void SetCommentText(std::string_view text) override;
  void HideComment() override;
  void ShowLearnDisplay(bool on) override;
  void PageDisplay() override;
  void LearnData(std::string_view text) override;
  void LearnCountdown(int seconds_left) override;

  // --- LibraryHost ---
  SetLearnModeResult SetLearnMode() override;
  void CancelLearn() override;
  SendIrDataResult SendIrData(std::string_view data_text) override;
  std::string DataFileName() const override { return data_file_name_; }
  void ShowMainWindow() override;
  void EnableMainWindow() override;

  // --- state, for the program's tools and tests ---
  ControllerLink& Link() { return *link_; }
  const TcpChannel& ClientSocket1() const;
  const CodeTable& Codes() const;
  int TvVtrOffset() const { return tv_vtr_offset_; }
  // The checked pad page, 1..3.
  int CheckedPadPage() const;
  const std::string& ExtLabel(int page, int label) const { return ext_label_[page - 1][label - 1]; }

  // A page learn under way.
  bool PageLearnRunning() const { return walk_ != nullptr; }
  void SetHoldTiming(HoldRepeat::Timing timing) { hold_.SetTiming(timing); }

  // Answers the save prompt; tests replace it.
  OkCancelPrompt prompt = AskOkCancel;
  // Shows a page learn's summary in a box; tests replace it.
  std::function<void(QWidget* parent, const QString& text)> inform;
  // Runs `action` once after `delay` on the GUI thread, unless the window is gone by then; tests
  // replace it to run the waits by hand.
  std::function<void(std::chrono::milliseconds delay, std::function<void()> action)> later;

 signals:
  // The window was closed (also by "Exit(&E)"): the run is over.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void ConnectHandlers();
  void SelectPadPage(int page);
  void FixDataFileName();
  void LoadLinkSettings();
  void LoadWindowSettings();
  void LoadExtLabels();
  void LoadCodes();
  void SaveSettings();
  // The save prompt and, on OK, the changed rows written; false on Cancel.
  bool AskAndSaveChangedCodes();
  void WriteSettingIfFirstCharDiffers(std::string_view section, std::string_view key,
                                      std::string_view deflt, const std::string& value);
  int CheckedPortChoice() const;

  // What the link's exchanges come to: learn results, repeats of a held key, the page learn.
  void OnExchangeEnd(const ExchangeEnd& end);
  // Tool tips, dimming and marks of the pad keys and the list rows, from the code table.
  void RefreshPadLooks();
  void RefreshListLooks();
  // The pad key that stands for `code` on the shown pad page and mode, or -1.
  int PadKeyOfCode(int code) const;
  void FlashLearnedKey(int pad_key);

  // Hold to repeat: a key's press, release and click.
  void KeyPressed(int key, std::function<void()> send);
  void KeyReleased(int key);
  void KeyClicked(int key, const std::function<void()>& send);
  void ScheduleHoldSend();
  void HoldSendDue();

  // The page learn.
  void WalkLearnCurrent();
  // The page learn goes on (next key, or the same key again) after a pause.
  void WalkAfterPause();
  // Ends the page learn; `tell` shows the summary on the status line and in a box.
  void StopPageLearn(bool tell);

  MainWindowSetup setup_;
  // The link and what it runs on; `link_` points into the stack.
  std::unique_ptr<ControllerStack> stack_;
  ControllerLink* link_ = nullptr;

  // Widgets (owned by Qt).
  QTabWidget* note1_ = nullptr;
  MainMenu menu_;
  PadPage pad_;
  CodeListPage list_;
  IoPage io_;

  TForm2* about_ = nullptr;    // null until made or set
  TForm3* library_ = nullptr;  // null until made or set
  std::function<TForm2*()> make_about_;
  std::function<TForm3*()> make_library_;

  std::string data_file_name_;
  ExtLabels ext_label_;
  int tv_vtr_offset_ = 0;
  int list_page_ = 0;

  HoldRepeat hold_;
  std::function<void()> hold_send_;  // sends the held key once
  unsigned hold_token_ = 0;          // a later hold wake-up runs only if still the newest
  std::unique_ptr<PageLearn> walk_;
  unsigned walk_token_ = 0;
  int flash_key_ = -1;  // pad key shown as just learned
  unsigned flash_token_ = 0;
  QShortcut* skip_right_ = nullptr;
  QShortcut* skip_space_ = nullptr;
  QShortcut* list_up_ = nullptr;
  QShortcut* list_down_ = nullptr;
  bool run_over_ = false;   // closed: the program is ending
  bool destroyed_ = false;  // FormDestroy has run
};

}  // namespace kavro
