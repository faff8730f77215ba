// The one queue in front of the controller: every request of every front end, first come first
// served, one exchange at a time. Pure bookkeeping: the shell asks for the next exchange to run
// and reports how it ended; nothing here touches the link or a clock.
//
// A send with a repeat count stays at the head and runs again until its count is used up or an
// exchange fails, so its exchanges come in a row. The depth counts the running request too and
// is bounded; a request past the bound is refused at once.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

#include "server/exchange.h"

namespace kavro::server {

class RequestQueue {
 public:
  using Reply = std::function<void(const Result&)>;

  explicit RequestQueue(std::size_t limit) : limit_(limit) {}

  // False (and `reply` dropped) when the queue is full.
  bool Push(ClientId client, Exchange exchange, Reply reply);
  // The exchange to run now, or nothing when one is running or none is queued.
  std::optional<Exchange> StartNext();
  // The running exchange ended with `result`. Its request is answered, unless it has more
  // repeats to run and succeeded. Calls the reply last, so it may push again.
  void Finish(const Result& result);
  // The client went away: its queued requests go without an answer; a running one runs to its
  // end, but its answer goes nowhere.
  void DropClient(ClientId client);
  // Answers every queued request (not the running one) with `result`: the controller went
  // offline.
  void FailQueued(const Result& result);

  bool Running() const { return running_; }
  std::size_t Depth() const { return entries_.size(); }
  std::size_t Limit() const { return limit_; }

 private:
  struct Entry {
    ClientId client;
    Exchange exchange;
    Reply reply;
    int runs_left;
  };
  const std::size_t limit_;
  std::deque<Entry> entries_;
  bool running_ = false;
};

}  // namespace kavro::server
