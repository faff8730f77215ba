#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/comm_session.h"

namespace kavro {

// A worker thread of an open port. It is started once, told to end through its terminated flag
// and its waker, and joined by the component. The running thread holds the object (and through
// it the session), so it never depends on its component still being there.
class TCommThread : public std::enable_shared_from_this<TCommThread> {
 public:
  TCommThread(std::shared_ptr<CommSession> session, std::unique_ptr<PortWaker> waker);
  virtual ~TCommThread();
  TCommThread(const TCommThread&) = delete;
  TCommThread& operator=(const TCommThread&) = delete;

  // False when the system cannot create the thread.
  bool Start();
  // Asks the thread to end at its next test of the flag and wakes it.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  void Wake() { waker_->Signal(); }
  // Waits at most `bound` for the thread to end and joins it; true when it ended. A thread that
  // does not end in time is let go.
  bool Join(std::chrono::milliseconds bound);

 protected:
  virtual void Execute() = 0;

  const std::shared_ptr<CommSession> session_;
  const std::unique_ptr<PortWaker> waker_;

 private:
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::mutex endMutex_;
  std::condition_variable endChanged_;
  bool ended_ = false;
};

}  // namespace kavro
