#pragma once

#include <functional>

#include "serial/comm_thread.h"

namespace kavro {

// Waits for input and line events and reports them to the owner thread. Each wake gives at most
// an error notice, a break notice and a receive notice, in that order, each handled to the end
// before the next is sent; the next wait starts only after the receive notice was handled.
class TCommReceiveThread : public TCommThread {
 public:
  using TCommThread::TCommThread;

 protected:
  void Execute() override;

 private:
  bool Notify(void (TCustomCommX::*event)());
  bool NotifyError(uint32_t flags);
  bool HandOver(std::function<void()> call);
};

}  // namespace kavro
