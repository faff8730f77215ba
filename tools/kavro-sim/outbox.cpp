#include "tools/kavro-sim/outbox.h"

#include <algorithm>

namespace kavro::sim {

Millis Outbox::earliest(Millis wanted) const {
  return pieces_.empty() ? wanted : std::max(wanted, pieces_.back().due);
}

void Outbox::push(Millis now, int delayMs, const Bytes& bytes, std::size_t pieceSize, int pauseMs) {
  if (bytes.empty()) return;
  Millis due = earliest(now + delayMs);
  const std::size_t step = pieceSize == 0 ? bytes.size() : pieceSize;
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    const std::size_t end = std::min(bytes.size(), at + step);
    pieces_.push_back(Piece{due, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(end))});
    due += pauseMs;
  }
}

void Outbox::pushClose(Millis now) { pieces_.push_back(Piece{earliest(now), {}, true}); }

std::optional<Millis> Outbox::nextDue() const {
  if (pieces_.empty()) return std::nullopt;
  return pieces_.front().due;
}

const Bytes* Outbox::due(Millis now) const {
  if (pieces_.empty() || pieces_.front().close || pieces_.front().due > now) return nullptr;
  return &pieces_.front().bytes;
}

void Outbox::written(std::size_t count) {
  if (pieces_.empty() || pieces_.front().close) return;
  Bytes& bytes = pieces_.front().bytes;
  count = std::min(count, bytes.size());
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
  if (bytes.empty()) pieces_.pop_front();
}

bool Outbox::closeDue(Millis now) const {
  return !pieces_.empty() && pieces_.front().close && pieces_.front().due <= now;
}

}  // namespace kavro::sim
