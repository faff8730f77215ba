#include "serial/dispatcher.h"

namespace kavro {

void HandOverGate::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool HandOverGate::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void HandOverGate::Wake() {
  // Taking the lock orders the caller's flag change before a waiter's next test of it.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

namespace {
struct HandOver {
  bool done = false;
};
}  // namespace

bool OwnerDispatcher::RunAndWait(const std::shared_ptr<HandOverGate>& gate,
                                 std::function<void()> call, const std::function<bool()>& giveUp) {
  if (IsOwnerThread()) {
    // Already on the owner thread: a hand-over would wait for ourselves.
    if (gate->IsClosed()) return false;
    call();
    return true;
  }
  if (gate->IsClosed()) return false;
  auto handOver = std::make_shared<HandOver>();
  Post([gate, handOver, call = std::move(call)] {
    if (gate->IsClosed()) return;
    call();
    {
      std::lock_guard lock(gate->mutex_);
      handOver->done = true;
    }
    gate->changed_.notify_all();
  });
  std::unique_lock lock(gate->mutex_);
  gate->changed_.wait(lock,
                      [&] { return handOver->done || gate->closed_ || (giveUp && giveUp()); });
  return handOver->done;
}

}  // namespace kavro
