#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kavro {

// Ties the hand-overs of one open port together. Closing it releases every worker that waits for
// the owner thread, and a call that has not started by then never runs, so a component can close
// (and join its workers) even while a worker waits for it.
class HandOverGate {
 public:
  void Close();
  bool IsClosed() const;
  // Makes waiting workers test their give-up condition again.
  void Wake();

 private:
  friend class OwnerDispatcher;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
};

// Hands calls from worker threads to the thread that owns a component (a GUI thread or a test's
// main thread), and lets that thread keep its own events flowing while it waits for something.
class OwnerDispatcher {
 public:
  virtual ~OwnerDispatcher() = default;

  // Worker side: runs `call` on the owner thread and waits until it has returned. Calls run in
  // the order they were handed over. Returns true when the call ran; false when the gate was
  // closed first (the call then never runs) or when giveUp() held after a Wake() of the gate (the
  // call still runs later, in its turn, but nobody waits for it).
  bool RunAndWait(const std::shared_ptr<HandOverGate>& gate, std::function<void()> call,
                  const std::function<bool()>& giveUp = nullptr);

  // Owner side: runs the handed-over calls and other pending events that are waiting now.
  virtual void ProcessPending() = 0;
  // Owner side: waits until something is pending or Wake() is called, at most `max`, and then
  // processes what is pending.
  virtual void WaitAndProcess(std::chrono::milliseconds max) = 0;
  // Any thread: ends a WaitAndProcess early.
  virtual void Wake() = 0;
  virtual bool IsOwnerThread() const = 0;

 protected:
  // Any thread: queues `task` to run on the owner thread, after every task queued before it.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace kavro
