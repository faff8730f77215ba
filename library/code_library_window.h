// The code library window: every IR code record of the data file as a sorted list of entries,
// with learning, editing, deleting and sending, and the signal view of the selected code.
//
// Entries are kept as Shift-JIS bytes ("%04d", a space, the data text, a space, the comment),
// sorted by their bytes, alongside the list control that shows them converted. The list is
// loaded from the file each time the window is shown and written back as a whole, after the
// user agrees, when it is hidden; what another program changed in the meantime at numbers this
// window left alone is kept.
//
// The list control may show only the entries matching the filter box: its rows map to entries
// through `shown_`, never by position. Learns, updates, appends, deletes and imports can be
// undone within one showing; each undo step restores the whole entry list with its bookkeeping.
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
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QUndoStack;

namespace kavro {

class SignalImage;
class SignalView;
class SignalWindow;
struct SignalCode;
enum class Trace;
struct RecordEntryParts;

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
  // The filter box changed: the list shows the entries whose number, comment or decode holds
  // its text.
  void FilterChange();
  void DispTypeClick();
  void Logic1Click();
  // "Signal…": the codes of both traces in the signal window, or the selected entry's code.
  void SignalClick();
  // A double-click on an entry: its code alone in the signal window.
  void OpenSignalWindow(int index);
  void Logic2Click();
  int DispLogic();

  // The entries in list order, as bytes.
  const std::vector<std::string>& Entries() const { return entries_; }
  bool Modified() const { return modified_; }
  const SignalView& View() const { return *view_; }
  // The signal window, once opened.
  SignalWindow* Signals() const { return signal_window_; }
  SignalImage& Image() const { return *Image1; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The entry list with what a save depends on: one undo step's state.
  struct Snapshot {
    std::vector<std::string> entries;
    std::set<std::string> changed_numbers;
    bool modified = false;
  };
  class EntriesChange;

  void BuildControls();
  void BuildMenus();
  // Places the controls for a client area of `size`; the design size is the smallest.
  void LayOut(const QSize& size);

  // The selected entry's position, or -1.
  int SelectedIndex() const;
  // The entry shown at row `row` of the list, or -1.
  int EntryAtRow(int row) const;
  // Adds an entry at its sorted place; gives that place.
  int AddEntry(std::string entry);
  void RemoveEntry(int index);
  void ReplaceEntries(std::vector<std::string> entries);
  // Fills the list control with the entries the filter lets through, selecting `select` (an
  // entry index) when it is among them.
  void RefreshList(int select = -1);
  bool Matches(const std::string& entry) const;
  // The row showing entry `index`, or -1.
  int RowOf(int index) const;
  // Selects entry `index` (showing every entry when the filter hides it), scrolls to it and
  // draws it, leaving the edit fields as they are.
  void SelectEntry(int index);
  // Draws the entry's code in the selected trace and says what it is.
  void ShowCode(const RecordEntryParts& parts);
  // The decode of a data text in short ("NEC1 4.251 2"), empty when unknown; kept per showing.
  const std::string& BriefOf(std::string_view data_text) const;
  QString RowToolTip(int row) const;

  // Makes an entry of `text` and the edit fields, as a learn does; gives its index, or -1 when
  // SeqNum is no number (said to the user).
  int StoreCode(std::string_view text);
  void CancelAwaitedLearn();

  Snapshot TakeSnapshot() const;
  void Restore(const Snapshot& snapshot);
  // Makes what changed since `before` one undo step named `what`.
  void PushChange(const QString& what, Snapshot before);

  void SwitchTrace(Trace trace);
  void LabelTrace(Trace trace);
  void RedrawTraces();
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
  // Row of the list control → index into entries_, ascending.
  std::vector<int> shown_;
  QString filter_;
  mutable std::map<std::string, std::string, std::less<>> briefs_;
  // A learn started here is awaited; one was given up since the last learn started, so a data
  // reply now is late and stores nothing.
  bool learning_ = false;
  bool learn_cancelled_ = false;
  // The controller's time unit as the data file gave it at the last showing.
  std::optional<double> unit_ns_;

  QPushButton* IrLearn = nullptr;
  QPushButton* IrSend = nullptr;
  QPushButton* IrUpdate = nullptr;
  QPushButton* IrDelete = nullptr;
  QLineEdit* SeqNum = nullptr;
  QLineEdit* IrData = nullptr;
  QLineEdit* IrComm = nullptr;
  QLineEdit* Filter = nullptr;
  QListWidget* IrDataList = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QWidget* Client = nullptr;
  QFrame* Panel1 = nullptr;
  SignalImage* Image1 = nullptr;
  QListWidget* DispType = nullptr;
  QRadioButton* Logic1 = nullptr;
  QRadioButton* Logic2 = nullptr;
  QLabel* Message = nullptr;
  QLabel* DecodeInfo = nullptr;  // what the selected code is
  QFontDialog* FontDialog1 = nullptr;
  QUndoStack* UndoStack = nullptr;

  // Draws on Image1; held apart so that this header does not bring in the signal block.
  std::unique_ptr<SignalView> view_;
  // Made on first use; a window of its own, so it may outlive a hiding of this one.
  SignalWindow* signal_window_ = nullptr;
};

}  // namespace kavro
