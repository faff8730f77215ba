// One use of the controller link by one command: the link's stack with a user interface that
// prints.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "link/controller_link.h"
#include "link/controller_stack.h"
#include "link/link_settings.h"
#include "tools/kavro-cli/printing_ui.h"

namespace kavro::cli {

class ControllerSession {
 public:
  // Needs a QCoreApplication. `tick_ms` is the length of the link's 100 ms tick; `verbose`
  // prints every frame and reply (only where the page does not log them already); `raw` prints
  // the link's texts as bytes instead of UTF-8.
  ControllerSession(const LinkSettings& settings, LinkPage page, int tick_ms, bool verbose,
                    bool raw, std::ostream& out, std::ostream& err);
  ~ControllerSession();
  ControllerSession(const ControllerSession&) = delete;
  ControllerSession& operator=(const ControllerSession&) = delete;

  ControllerLink& Link() { return link_; }

  // Runs `operation`, a call into the link that may open it. A port that cannot be opened is
  // reported on the error stream; the result is then false and the session counts as failed.
  bool Start(const std::function<void()>& operation);

  // Runs events until the exchange has ended by its reply or its time-out and everything queued
  // has been handed to the line or the network, or until the TCP connection fails; then lets a
  // serial line send what it holds (closing the port throws that away) and closes the link.
  void Finish();

  // A frame reached the link's sending door (nothing is sent when a check refused the input).
  bool FrameSent() const { return frames_ > 0; }
  // The controller refused, failed or did not answer, the port could not be opened, or the
  // TCP connection failed.
  bool Failed() const { return ui_.Failed(); }
  const std::optional<std::string>& LearnedData() const { return ui_.Learned(); }

 private:
  void Observe(ControllerLink::Traffic traffic, std::span<const unsigned char> bytes);
  template <typename Done>
  bool WaitUntil(Done done, std::chrono::steady_clock::time_point deadline);
  bool Finished() const;
  void LetTheLineSend();

  std::ostream& out_;
  std::ostream& err_;
  const LinkSettings settings_;
  const LinkPage page_;
  const bool verbose_;
  int frames_ = 0;
  bool tcp_failed_ = false;
  // Bytes handed to the serial port since the last reply (the preamble included): nothing but
  // the line time tells when the far end has them.
  int unanswered_bytes_ = 0;

  PrintingUi ui_;
  ControllerStack stack_;
  ControllerLink& link_ = stack_.Link();
};

}  // namespace kavro::cli
