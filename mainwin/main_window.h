// The main window: the notebook with the remote pad ("IR1"), the code list ("IR2") and the
// digital I/O page ("I/O"), the menu, the status lines and the log. It owns the link to the
// controller, the code table and the settings in memory; every showing reloads them from the
// data file and its destruction writes back what changed.
#pragma once

#include <QMainWindow>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gui/ok_cancel_prompt.h"
#include "library/library_host.h"
#include "link/code_table.h"
#include "link/link_ui.h"
#include "mainwin/code_list_page.h"
#include "mainwin/io_page.h"
#include "mainwin/main_menu.h"
#include "mainwin/pad_page.h"

class QTabWidget;

namespace kavro {

class ControllerStack;
class ControllerLink;
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

  // The other two windows; the program sets them once after creating all three.
  void SetAboutDialog(TForm2* about) { about_ = about; }
  void SetLibraryWindow(TForm3* library) { library_ = library; }

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

  // Answers the save prompt; tests replace it.
  OkCancelPrompt prompt = AskOkCancel;

 signals:
  // The window was closed (also by "Exit(&E)"): the run is over.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
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

  TForm2* about_ = nullptr;
  TForm3* library_ = nullptr;

  std::string data_file_name_;
  std::array<std::array<std::string, kExtKeyCount>, 3> ext_label_;
  int tv_vtr_offset_ = 0;
  int list_page_ = 0;
  bool run_over_ = false;   // closed: the program is ending
  bool destroyed_ = false;  // FormDestroy has run
};

}  // namespace kavro
