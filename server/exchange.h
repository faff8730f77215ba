// One piece of work for the controller, as every front end asks for it, and how it ended.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kavro::server {

// Who asked: a line-protocol connection, one HTTP request, a learn job. Requests of a client
// that has gone are dropped from the queue.
using ClientId = std::uint64_t;

struct Exchange {
  enum class Kind { kSend, kLearn, kPortOut, kPortIn, kInputData };
  static Exchange Send(std::string data, int repeat = 1);
  static Exchange Learn() { return Of(Kind::kLearn); }
  static Exchange PortOut(int address, int value);
  static Exchange PortIn(int address);
  static Exchange InputData() { return Of(Kind::kInputData); }
  static Exchange Of(Kind kind) {
    Exchange exchange;
    exchange.kind = kind;
    return exchange;
  }

  Kind kind = Kind::kSend;
  std::string data;  // kSend: the data text
  int repeat = 1;    // kSend: this many exchanges in a row
  int address = 0;   // kPortOut 0x00..0x0F, kPortIn 0x10..0x1F
  int value = 0;     // kPortOut: the byte written
  // The stored code a send or learn is about, for the events; nothing for a bare data text.
  std::optional<int> number;
  // Called when the exchange reaches the controller (once, also for a repeated send).
  std::function<void()> on_start;
};

struct Result {
  enum class Kind {
    kDone,             // kPortIn and kInputData: `reply` holds the byte read
    kLearned,          // `data` holds the learned data text
    kLearnFailed,      // the controller could not learn the signal
    kControllerError,  // the controller answered `reply` instead of doing it
    kTimeout,
    kOffline,  // the controller is not there (no port, or its device went away)
    kRefused,  // the link refused the data text (`detail` says why)
  };
  Result() = default;
  explicit Result(Kind k, int reply_byte = -1, std::string learned = {}, std::string why = {})
      : kind(k), reply(reply_byte), data(std::move(learned)), detail(std::move(why)) {}

  Kind kind = Kind::kDone;
  int reply = -1;
  std::string data;
  std::string detail;

  bool Ok() const { return kind == Kind::kDone || kind == Kind::kLearned; }
};

// The reason of a failed result as every front end words it: "controller error 0x4E",
// "time-out", "controller offline", "learn failed", or the refusal's detail.
std::string FailureText(const Result& result);

}  // namespace kavro::server
