// The code library window: every IR code record of the data file as a sorted list of entries,
// with learning, editing, deleting and sending, and the signal view of the selected code.
//
// Entries are kept as Shift-JIS bytes ("%04d", a space, the data text, a space, the comment),
// sorted by their bytes, alongside the list control that shows them converted. The list is
// loaded from the file each time the window is shown and written back as a whole, after the
// user agrees, when it is hidden; what another program changed in the meantime at numbers this
// window left alone is kept.
#pragma once

#include <QFont>
#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "datafile/file_error.h"
#include "gui/ok_cancel_prompt.h"
#include "library/library_host.h"

class QAction;
class QFontDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;

namespace kavro {

class SignalImage;
class SignalView;

class TForm3 : public QMainWindow {
  Q_OBJECT

 public:
  // Shows the font dialog and gives the confirmed font, or nothing when cancelled.
  using FontChooser = std::function<std::optional<QFont>(QFontDialog& dialog)>;
  // A file to import (format found from its content) or to export to (format chosen with it);
  // nothing when cancelled.
  struct ChosenFile {
    QString path;
    codec::Format format = codec::Format::kPronto;
  };
  using FileChooser = std::function<std::optional<ChosenFile>(QWidget* parent, bool for_export)>;

  explicit TForm3(LibraryHost& host, QWidget* parent = nullptr);
  ~TForm3() override;

  // A learned data text or a failure message of the link, as Shift-JIS bytes.
  void LearnData(std::string_view text);
  // The whole seconds left of the learn this window awaits.
  void LearnCountdown(int seconds_left);

  // Answers the delete and save questions; tests replace it.
  OkCancelPrompt prompt = AskOkCancel;
  // Runs FontDialog1; tests replace it.
  FontChooser choose_font;
  // Runs the file dialogs of Import and Export; tests replace it.
  FileChooser choose_file;

  // The window's message line.
  void MsgOut(std::string_view text);

  // Handlers, named after their control and event; tests call them as a user's action would.
  void FormShow();
  void FormHide();
  void FormClose();
  void SeqNumChange();
  void IrDataListClick();
  // Throws ConversionError when SeqNum is not a number; nothing else happens then.
  void IrLearnClick();
  // Throws ConversionError when SeqNum is not a number, before anything is changed.
  void IrUpdateClick();
  void IrDeleteClick();
  void IrSendClick();
  void ExitE1Click();
  void FontF1Click();
  // "Import…": the file's codes join the list as appended ones do (the save prompt covers them).
  void ImportClick();
  // "Export…": every entry of the list, in the chosen format.
  void ExportClick();
  void DispTypeClick();
  void Logic1Click();
  void Logic2Click();
  int DispLogic();

  // The entries in list order, as bytes.
  const std::vector<std::string>& Entries() const { return entries_; }
  bool Modified() const { return modified_; }
  const SignalView& View() const { return *view_; }
  SignalImage& Image() const { return *Image1; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();

  // The selected entry's position, or -1.
  int SelectedIndex() const;
  void AddEntry(std::string entry);
  void RemoveEntry(int index);
  void ReplaceEntries(std::vector<std::string> entries);
  // Sets SeqNum; SeqNumChange runs also when the text stays the same.
  void SetSeqNum(const std::string& text);
  // SeqNum as a number; throws ConversionError for any other text.
  int SeqNumValue() const;
  void SaveEntries();
  // Takes into the list what another program added or changed in the section since the showing
  // (at numbers this window left alone); gives how many records that took.
  int KeepOthersChanges(const std::string& path);
  void ReportUnsaved(const std::string& path, FileError error);

  LibraryHost& host_;
  std::vector<std::string> entries_;
  bool modified_ = false;
  // The section as read at the showing, by record number ("%04d"), and the numbers this window
  // has learned into, updated, deleted, appended or imported since: what a save may overwrite.
  std::map<std::string, std::vector<std::string>> shown_records_;
  std::set<std::string> changed_numbers_;
  // The controller's time unit as the data file gave it at the last showing.
  std::optional<double> unit_ns_;

  QPushButton* IrLearn = nullptr;
  QPushButton* IrSend = nullptr;
  QPushButton* IrUpdate = nullptr;
  QPushButton* IrDelete = nullptr;
  QLineEdit* SeqNum = nullptr;
  QLineEdit* IrData = nullptr;
  QLineEdit* IrComm = nullptr;
  QListWidget* IrDataList = nullptr;
  QMenu* PopupMenu1 = nullptr;
  SignalImage* Image1 = nullptr;
  QListWidget* DispType = nullptr;
  QRadioButton* Logic1 = nullptr;
  QRadioButton* Logic2 = nullptr;
  QLabel* Message = nullptr;
  QLabel* DecodeInfo = nullptr;  // what the selected code is
  QFontDialog* FontDialog1 = nullptr;

  // Draws on Image1; held apart so that this header does not bring in the signal block.
  std::unique_ptr<SignalView> view_;
};

}  // namespace kavro
