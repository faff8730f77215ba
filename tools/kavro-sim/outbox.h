#pragma once
// Answers waiting to be written, each piece with the time it is due. Answers leave in the order
// they were queued: a later answer with a shorter delay waits for the earlier ones, as a device
// that does one thing at a time would.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "tools/kavro-sim/hex.h"

namespace kavro::sim {

using Millis = std::int64_t;

class Outbox {
 public:
  // Queues `bytes`, due `delayMs` after `now` but not before what is queued already. With a
  // piece size, the bytes are cut into pieces of that many, each `pauseMs` after the one before.
  void push(Millis now, int delayMs, const Bytes& bytes, std::size_t pieceSize = 0,
            int pauseMs = 0);
  // Marks the point after everything queued so far where the connection is to close.
  void pushClose(Millis now);

  // Time the first piece (or the close) is due; nullopt when nothing waits.
  std::optional<Millis> nextDue() const;
  // The first piece when it is due and not yet written, else null.
  const Bytes* due(Millis now) const;
  // `count` bytes of the due piece have been written.
  void written(std::size_t count);
  // The close mark is first in line and due.
  bool closeDue(Millis now) const;

 private:
  struct Piece {
    Millis due;
    Bytes bytes;
    bool close = false;
  };
  Millis earliest(Millis wanted) const;

  std::deque<Piece> pieces_;
};

}  // namespace kavro::sim
