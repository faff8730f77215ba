#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "serial/dispatcher.h"

namespace kavro {

// Owner-thread dispatcher for programs without a GUI and for tests: handed-over calls wait in a
// queue until the owner thread (the one that constructed it) runs them.
class PlainDispatcher : public OwnerDispatcher {
 public:
  PlainDispatcher();

  void ProcessPending() override;
  void WaitAndProcess(std::chrono::milliseconds max) override;
  void Wake() override;
  bool IsOwnerThread() const override;

  // Runs the owner's calls until done() holds or `timeout` has passed; true when done() held.
  // done() is tested after every call and at least every 10 ms.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs the owner's calls for `duration`.
  void RunFor(std::chrono::milliseconds duration);

  // Calls queued and not yet run.
  size_t PendingCount() const;
  // Waits, without running anything, until at least `count` calls are queued; false on time-out.
  bool WaitUntilPending(size_t count, std::chrono::milliseconds timeout) const;

 protected:
  void Post(std::function<void()> task) override;

 private:
  const std::thread::id owner_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  bool woken_ = false;
};

}  // namespace kavro
