#include "serial/comm_thread.h"

#include <system_error>

namespace kavro {

TCommThread::TCommThread(std::shared_ptr<CommSession> session, std::unique_ptr<PortWaker> waker)
    : session_(std::move(session)), waker_(std::move(waker)) {}

TCommThread::~TCommThread() {
  if (thread_.joinable()) thread_.detach();
}

bool TCommThread::Start() {
  try {
    thread_ = std::thread([self = shared_from_this()] {
      self->Execute();
      {
        std::lock_guard lock(self->endMutex_);
        self->ended_ = true;
      }
      self->endChanged_.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TCommThread::Terminate() {
  terminated_ = true;
  waker_->Signal();
}

bool TCommThread::Join(std::chrono::milliseconds bound) {
  if (!thread_.joinable()) return true;
  bool ended;
  {
    std::unique_lock lock(endMutex_);
    ended = endChanged_.wait_for(lock, bound, [this] { return ended_; });
  }
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();
  }
  return ended;
}

}  // namespace kavro
