#include "serial/comm_receive_thread.h"

#include "serial/commx.h"

namespace kavro {

void TCommReceiveThread::Execute() {
  CommSession& s = *session_;
  InputBatch batch;
  while (!Terminated()) {
    bool wantInput;
    {
      std::lock_guard lock(s.inputLock);
      // With the queue full the thread stops reading, so the driver's flow control holds the
      // sender back; taking bytes out wakes it again.
      const bool room = s.input.size() < static_cast<size_t>(s.inputCapacity);
      s.inputStarved = !room;
      wantInput = room && !s.gone;
    }
    s.port->WaitInput(*waker_, wantInput);
    if (Terminated()) break;

    batch.Clear();
    {
      std::lock_guard lock(s.inputLock);
      const size_t size = s.input.size();
      const size_t capacity = static_cast<size_t>(s.inputCapacity);
      if (!s.gone && size < capacity) {
        s.port->ReadInput(batch, capacity - size);
        s.input.Append(batch.data.data(), batch.data.size());
      }
    }

    // A device that went away is reported once; from then on the thread only waits for the
    // port to close.
    const bool newlyGone = batch.gone && !s.gone.exchange(true);

    const uint32_t errors = s.port->TakeLineErrors();
    if (errors != 0 && !NotifyError(errors)) continue;
    if (batch.breaks != 0 && !Notify(&TCustomCommX::BreakEvent)) continue;
    if (!batch.data.empty() && !Notify(&TCustomCommX::ReceiveEvent)) continue;
    if (newlyGone) NotifyError(kCommErrDeviceGone);
  }
}

bool TCommReceiveThread::Notify(void (TCustomCommX::*event)()) {
  TCustomCommX* owner = session_->owner;
  return HandOver([owner, event] { (owner->*event)(); });
}

bool TCommReceiveThread::NotifyError(uint32_t flags) {
  TCustomCommX* owner = session_->owner;
  return HandOver([owner, flags] { owner->ErrEvent(flags); });
}

bool TCommReceiveThread::HandOver(std::function<void()> call) {
  session_->receiverWaiting = true;
  const bool ran = session_->dispatcher.RunAndWait(session_->gate, std::move(call));
  session_->receiverWaiting = false;
  return ran;
}

}  // namespace kavro
