// What the controller link needs of the user interface. The main window implements it; so do the
// command-line tool and the tests. All text is bytes (Shift-JIS or ASCII); converting to and from
// the screen's encoding is the implementer's business.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

// The notebook page that is showing, by its index.
enum class LinkPage { kPad = 0, kCodeList = 1, kIo = 2 };

class LinkUi {
 public:
  virtual ~LinkUi() = default;

  // Shows one message on the page that is showing (status line, or a log line on the I/O page).
  // The empty text clears the status line.
  virtual void MsgOut(std::string_view text) = 0;

  virtual LinkPage ShownPage() const = 0;
  // 100, 150 or 200: the code number that pad key 0 stands for on the checked pad page.
  virtual int PadBase() const = 0;
  // The code list's page, 0..9: row i stands for code ListPage() * 10 + i.
  virtual int ListPage() const = 0;

  // The code list page's comment box.
  virtual std::string CommentText() const = 0;
  virtual void SetCommentText(std::string_view text) = 0;
  virtual void HideComment() = 0;
  // Learn mode switched by the user while the code list page shows: on shows the comment box and
  // sets its caption to "Comment"; off hides the box and empties the caption.
  virtual void ShowLearnDisplay(bool on) = 0;

  // Redraws the rows of the code list page from the code table.
  virtual void PageDisplay() = 0;

  // Hands a learned data text, or a failure message, to the code library window.
  virtual void LearnData(std::string_view text) = 0;

  // While a learn reply is awaited, each time the whole seconds left until its time-out fall by
  // one (9, 8, ... 1). Windows show it; a program without them need not.
  virtual void LearnCountdown(int /*seconds_left*/) {}
};

// The user interface of a program without windows (kavro-cli, kavro-server): the page it was
// made with, the first pad page and code list page, no comment box. Messages and learned data
// are the program's to handle.
class WindowlessUi : public LinkUi {
 public:
  explicit WindowlessUi(LinkPage page) : page_(page) {}

  LinkPage ShownPage() const override { return page_; }
  int PadBase() const override { return 100; }
  int ListPage() const override { return 0; }
  std::string CommentText() const override { return {}; }
  void SetCommentText(std::string_view) override {}
  void HideComment() override {}
  void ShowLearnDisplay(bool) override {}
  void PageDisplay() override {}

 private:
  const LinkPage page_;
};

}  // namespace kavro
