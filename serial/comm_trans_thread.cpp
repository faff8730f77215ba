#include "serial/comm_trans_thread.h"

#include "serial/commx.h"

namespace kavro {

void TCommTransThread::Execute() {
  CommSession& s = *session_;
  do {
    bool burst = false;
    WaitForBlocks();
    for (;;) {
      std::vector<uint8_t> block;
      {
        std::lock_guard lock(s.countLock);
        if (s.blocks.empty()) break;
        block = std::move(s.blocks.front());
        s.blocks.pop_front();
      }
      if (!Discard() && !Terminated()) {
        if (!burst) {
          burst = true;
          HalfCtrlStart();
        }
        WriteBlock(block);
      }
      FinishBlock(block.size());
    }
    if (burst) HalfCtrlEnd();
  } while (!Terminated());

  // Blocks still queued when the port closes are dropped unwritten, and counted off.
  for (;;) {
    size_t size;
    {
      std::lock_guard lock(s.countLock);
      if (s.blocks.empty()) break;
      size = s.blocks.front().size();
      s.blocks.pop_front();
    }
    FinishBlock(size);
  }
}

void TCommTransThread::WaitForBlocks() {
  CommSession& s = *session_;
  for (;;) {
    {
      std::lock_guard lock(s.countLock);
      s.transIdle = s.blocks.empty();
      if (!s.transIdle) return;
    }
    if (Terminated()) return;
    waker_->Wait();
  }
}

void TCommTransThread::WriteBlock(const std::vector<uint8_t>& block) {
  CommSession& s = *session_;
  const uint8_t* position = block.data();
  size_t remaining = block.size();
  while (remaining > 0 && !Discard() && !Terminated()) {
    long written;
    {
      std::lock_guard lock(s.writeLock);
      written = s.port->WriteSome(position, remaining);
    }
    if (written > 0) {
      position += written;
      remaining -= static_cast<size_t>(written);
      continue;
    }
    if (written == SerialPortIo::kFailed) {
      // The rest of the block is not sent.
      ReportLineErrors();
      return;
    }
    // The device takes nothing now (flow control, full buffer): wait without the lock. A write
    // that makes no progress for the write time-out ends, and the rest of the block with it.
    const int32_t timeOut = s.timeOutTransMs.load();
    const PortWait wait = s.port->WaitWritable(*waker_, timeOut > 0 ? timeOut : -1);
    if (wait == PortWait::TimedOut) return;
    if (wait == PortWait::Gone) {
      ReportLineErrors();
      return;
    }
  }
}

void TCommTransThread::FinishBlock(size_t size) {
  CommSession& s = *session_;
  int32_t blocksLeft;
  {
    std::lock_guard lock(s.countLock);
    const int32_t left = s.queuedBytes - static_cast<int32_t>(size);
    s.queuedBytes = left > 0 ? left : 0;
    if (s.queuedBlocks != 0) --s.queuedBlocks;
    blocksLeft = s.queuedBlocks;
  }
  s.countChanged.notify_all();
  // An owner waiting for room is woken once half the queue is free, not for every block, so
  // that it queues a run of blocks per wake instead of trading places with this thread. An empty
  // queue always wakes it: an owner that waits for everything to be sent has no other event.
  if (blocksLeft == 0 || (blocksLeft <= kMaxQueuedBlocks / 2 && s.ownerWaitsForRoom))
    s.dispatcher.Wake();
}

void TCommTransThread::HalfCtrlStart() {
  CommSession& s = *session_;
  const uint8_t flow = s.flowCtrl.load();
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  s.pause(50);
  s.port->SetRts(flow == cfcHalfHigh);
  s.pause(CharTime());
}

void TCommTransThread::HalfCtrlEnd() {
  CommSession& s = *session_;
  const uint8_t flow = s.flowCtrl.load();
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  s.pause(CharTime());
  s.port->SetRts(flow != cfcHalfHigh);
}

void TCommTransThread::ReportLineErrors() {
  CommSession& s = *session_;
  const uint32_t flags = s.port->TakeLineErrors();
  if (flags == 0) return;
  TCustomCommX* owner = s.owner;
  // ClearTransBuf waits for this thread without serving the owner's calls; giving up the wait
  // when a discard starts keeps it from hanging, and the notice still runs in its turn.
  s.dispatcher.RunAndWait(
      s.gate, [owner, flags] { owner->ErrEvent(flags); },
      [this] { return Discard() || Terminated(); });
}

}  // namespace kavro
