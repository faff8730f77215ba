#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "serial/comm_thread.h"

namespace kavro {

// Writes the blocks that TransBlock queues, one at a time and in order. A burst is the run of
// blocks taken between two waits; under a half-duplex flow control RTS is switched once before
// the first block of a burst that is really written and once after the queue ran empty.
class TCommTransThread : public TCommThread {
 public:
  using TCommThread::TCommThread;

  // While set, queued blocks are freed unwritten and a write under way ends.
  void SetDiscard(bool discard) { discard_ = discard; }
  bool Discard() const { return discard_.load(); }
  // The pause around the half-duplex switch: one character time in ms.
  void SetCharTime(int32_t ms) { charTime_ = ms; }
  int32_t CharTime() const { return charTime_.load(); }

 protected:
  void Execute() override;

 private:
  void WaitForBlocks();
  void WriteBlock(const std::vector<uint8_t>& block);
  void FinishBlock(size_t size);
  void HalfCtrlStart();
  void HalfCtrlEnd();
  void ReportLineErrors();

  std::atomic<bool> discard_{false};
  std::atomic<int32_t> charTime_{0};
};

}  // namespace kavro
