#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/byte_queue.h"
#include "serial/dispatcher.h"
#include "serial/port_io.h"

namespace kavro {

class TCustomCommX;

// At most this many transmit blocks wait at any time.
inline constexpr int32_t kMaxQueuedBlocks = 32;

// Everything one open port shares between its component and its two worker threads. The workers
// hold it (never the component), so even a worker that outlived its component would touch only
// this.
struct CommSession {
  CommSession(TCustomCommX* owner_, OwnerDispatcher& dispatcher_,
              std::unique_ptr<SerialPortIo> port_, std::function<void(int32_t)> pause_)
      : owner(owner_), dispatcher(dispatcher_), port(std::move(port_)), pause(std::move(pause_)) {}

  // Named only inside calls handed to the owner thread, which never run once the gate is closed.
  TCustomCommX* const owner;
  OwnerDispatcher& dispatcher;
  const std::unique_ptr<SerialPortIo> port;
  const std::shared_ptr<HandOverGate> gate = std::make_shared<HandOverGate>();
  // Pauses that are part of the line's behaviour (half-duplex switching); replaceable for tests.
  const std::function<void(int32_t ms)> pause;

  // Property values the transmit thread reads.
  std::atomic<uint8_t> flowCtrl{0};
  std::atomic<int32_t> timeOutTransMs{0};

  // Held around each write call and each purge of the output, so they never overlap.
  std::mutex writeLock;
  // Guards the queued blocks and both counts.
  std::mutex countLock;
  std::condition_variable countChanged;
  std::deque<std::vector<uint8_t>> blocks;
  int32_t queuedBytes = 0;
  int32_t queuedBlocks = 0;
  // Set while the owner waits in TransBlock for room in the queue.
  std::atomic<bool> ownerWaitsForRoom{false};
  // Set (under countLock) while the transmit thread sleeps for want of blocks: only then does a
  // new block need to wake it.
  bool transIdle = false;

  // Guards the decoded input and the device's input side.
  std::mutex inputLock;
  ByteQueue input;
  int32_t inputCapacity = 2048;
  bool inputStarved = false;  // the receive thread stopped reading for want of room
  std::atomic<bool> gone{false};
  // Set while the receive thread waits for the owner to handle one of its notices; it reads
  // nothing meanwhile.
  std::atomic<bool> receiverWaiting{false};
};

}  // namespace kavro
