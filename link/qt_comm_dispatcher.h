#pragma once

#include <QObject>

#include <chrono>
#include <functional>

#include "serial/dispatcher.h"

class QThread;

namespace kavro {

// Hands the serial component's notices to the Qt thread that made this dispatcher (the GUI
// thread) as queued calls, and keeps that thread's events flowing (timers, sockets, the
// component's own notices) while the component waits in TransBlock or ReceiveBlock.
// Make it before the components that use it and destroy it after them.
class QtCommDispatcher : public OwnerDispatcher {
 public:
  QtCommDispatcher();
  ~QtCommDispatcher() override;

  void ProcessPending() override;
  void WaitAndProcess(std::chrono::milliseconds max) override;
  void Wake() override;
  bool IsOwnerThread() const override;

 protected:
  void Post(std::function<void()> task) override;

 private:
  QThread* const owner_;
  QObject* const context_;  // lives on the owner thread; queued calls are delivered through it
};

}  // namespace kavro
