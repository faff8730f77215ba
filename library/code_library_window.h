// The code library window: every IR code record of the data file as a sorted list, with learning,
// editing, deleting, sending and the signal view of the selected code.
#pragma once

#include "library/library_host.h"
#include "library/ok_cancel_prompt.h"

#include <QMainWindow>

#include <string_view>

namespace kavro {

class TForm3 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm3(LibraryHost& host, QWidget* parent = nullptr);

  // A learned data text or a failure message of the link, as Shift-JIS bytes.
  void LearnData(std::string_view text);

  // Answers the delete and save questions; tests replace it.
  OkCancelPrompt prompt = AskOkCancel;

 private:
  LibraryHost& host_;
};

}  // namespace kavro
