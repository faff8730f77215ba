// The server side of the network IR server's line protocol, for one connection: bytes in,
// requests and answer lines out. Lines end in LF (a CR before it is dropped); answers end in
// CR LF.
//
//   "RAVIZ C"                  learn: "RG" + 58 hex digits, or "RN" when the learn failed
//   "RAVIZ S53" + 58 hex       IR send: "RE" when done
//   "RAVIZ D"                  a learned code was stored: accepted, never answered
//
// Every refusal or failure is one line "ERROR " + reason: "unknown command", "line too long",
// "queue full", "controller offline", "time-out", "controller error 0xNN". A line longer than
// kMaxLine is dropped up to its end, with one "ERROR line too long"; what is held per
// connection never exceeds kMaxLine bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "server/exchange.h"

namespace kavro::server {

class LineSession {
 public:
  static constexpr std::size_t kMaxLine = 1024;

  struct Command {
    enum class Kind { kRun, kAnswer };
    Kind kind = Kind::kAnswer;
    Exchange exchange;   // kRun: queue this
    std::string answer;  // kAnswer: send this line back at once (empty: nothing)
  };

  // Takes received bytes; gives what every line finished by them asks for, in order.
  std::vector<Command> Feed(std::string_view bytes);
  // True while part of a line has arrived and its end has not.
  bool HoldsPartialLine() const { return !held_.empty() || dropping_; }

  // The answer line of a finished exchange.
  static std::string AnswerLine(Exchange::Kind kind, const Result& result);
  static std::string ErrorLine(std::string_view reason);

 private:
  static Command Parse(std::string_view line);

  std::string held_;
  bool dropping_ = false;  // inside a line that was too long
};

}  // namespace kavro::server
