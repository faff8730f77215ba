#include "tools/kavro-sim/session.h"

#include <algorithm>
#include <limits>
#include <string>

namespace kavro::sim {

Session::Session(const SimOptions& options, Log log) : options_(options), log_(std::move(log)) {
  if (options_.transport == Transport::Pty) {
    serial_.emplace(options_);
  } else {
    lines_.emplace(options_);
  }
}

void Session::start(Millis now) {
  if (started_) return;
  started_ = true;
  if (!options_.unsolicited.empty()) unsolicitedAt_ = now + options_.unsolicitedAfterMs;
}

void Session::input(Millis now, const std::uint8_t* data, std::size_t size) {
  handle(now, serial_ ? serial_->feed(now, data, size) : lines_->feed(data, size));
}

void Session::tick(Millis now) {
  if (serial_) handle(now, serial_->expire(now));
  if (unsolicitedAt_ && now >= *unsolicitedAt_ && !closing_) {
    outbox_.push(now, 0, options_.unsolicited, options_.split, options_.splitPauseMs);
    if (options_.unsolicitedEveryMs > 0) {
      unsolicitedAt_ = *unsolicitedAt_ + options_.unsolicitedEveryMs;
      // A late tick queues one copy, not a burst of the ones it missed.
      if (*unsolicitedAt_ <= now) unsolicitedAt_ = now + options_.unsolicitedEveryMs;
    } else {
      unsolicitedAt_.reset();
    }
  }
}

std::optional<Millis> Session::tickDeadline() const {
  std::optional<Millis> deadline = serial_ ? serial_->deadline() : std::nullopt;
  if (unsolicitedAt_ && !closing_ && (!deadline || *unsolicitedAt_ < *deadline)) {
    deadline = unsolicitedAt_;
  }
  return deadline;
}

void Session::written(std::size_t count) {
  const Bytes* piece = outbox_.due(std::numeric_limits<Millis>::max());
  if (piece == nullptr || count == 0) return;
  log_("sent", describe(piece->data(), std::min(count, piece->size())));
  outbox_.written(count);
}

void Session::handle(Millis now, const std::vector<Received>& received) {
  for (const Received& r : received) {
    log_(r.kind, r.detail);
    // After the close is queued nothing more is answered; what arrives is only logged.
    if (closing_ || !r.counts) continue;
    if (!options_.silent) {
      for (const Reply& reply : r.replies) {
        outbox_.push(now, reply.delayMs, reply.bytes, options_.split, options_.splitPauseMs);
      }
    }
    start(now);
    if (options_.closeAfter > 0 && ++frames_ >= options_.closeAfter) {
      closing_ = true;
      outbox_.pushClose(now);
    }
  }
}

std::string Session::describe(const std::uint8_t* data, std::size_t size) const {
  return serial_ ? toHex(data, size) : quoteText(data, size);
}

}  // namespace kavro::sim
