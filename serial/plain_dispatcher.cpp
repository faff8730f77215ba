#include "serial/plain_dispatcher.h"

namespace kavro {

PlainDispatcher::PlainDispatcher() : owner_(std::this_thread::get_id()) {}

void PlainDispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  changed_.notify_all();
}

void PlainDispatcher::ProcessPending() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void PlainDispatcher::WaitAndProcess(std::chrono::milliseconds max) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, max, [this] { return !tasks_.empty() || woken_; });
    woken_ = false;
  }
  ProcessPending();
}

void PlainDispatcher::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

bool PlainDispatcher::IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

bool PlainDispatcher::RunUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ProcessPending();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    WaitAndProcess(std::min(left + std::chrono::milliseconds(1), std::chrono::milliseconds(10)));
  }
}

void PlainDispatcher::RunFor(std::chrono::milliseconds duration) {
  RunUntil([] { return false; }, duration);
}

size_t PlainDispatcher::PendingCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

bool PlainDispatcher::WaitUntilPending(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return tasks_.size() >= count; });
}

}  // namespace kavro
