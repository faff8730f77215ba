// The link's user interface for the command-line tool: every message of the link is a line on
// the output stream, and the outcome of the exchange is noted for the exit status.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_ui.h"

namespace kavro::cli {

// Prints `line` and a line feed, then flushes: a user waiting at the controller ("Push
// Controller!") must see the line before the tool waits.
void Say(std::ostream& out, std::string_view line);

class PrintingUi : public WindowlessUi {
 public:
  // `page` is the page the link believes shows: the I/O page makes it log every frame and
  // reply; the pad page keeps the frames out of the output. The link's texts are Shift-JIS:
  // they are printed as UTF-8, or byte for byte when `raw`.
  PrintingUi(std::ostream& out, LinkPage page, bool raw = false)
      : WindowlessUi(page), out_(out), raw_(raw) {}

  void MsgOut(std::string_view text) override;
  // A learned data text is kept; anything else is a failure message and is printed.
  void LearnData(std::string_view text) override;

  // A message that says the controller refused, failed or did not answer has been shown.
  bool Failed() const { return failed_; }
  void SetFailed() { failed_ = true; }
  const std::optional<std::string>& Learned() const { return learned_; }

 private:
  std::ostream& out_;
  const bool raw_;
  bool failed_ = false;
  std::optional<std::string> learned_;
};

}  // namespace kavro::cli
