#include "tools/kavro-sim/serial_responder.h"

namespace kavro::sim {

namespace {

constexpr std::uint8_t kPreambleByte = 0x58;
constexpr std::size_t kPreambleSize = 5;
constexpr std::size_t kIrSendSize = 30;

}  // namespace

SerialResponder::SerialResponder(const SimOptions& options) : options_(options) {}

std::vector<Received> SerialResponder::feed(Millis now, const std::uint8_t* data,
                                            std::size_t size) {
  std::vector<Received> out;
  if (size == 0) return out;
  held_.insert(held_.end(), data, data + size);
  lastArrival_ = now;
  parse(out, false);
  return out;
}

std::vector<Received> SerialResponder::expire(Millis now) {
  std::vector<Received> out;
  const auto due = deadline();
  if (due && now >= *due) parse(out, true);
  return out;
}

std::optional<Millis> SerialResponder::deadline() const {
  if (held_.empty() || options_.frameGapMs <= 0) return std::nullopt;
  return lastArrival_ + options_.frameGapMs;
}

std::uint8_t SerialResponder::inputValue(int port) const {
  const auto& value = ports_.at(static_cast<std::size_t>(port));
  return value ? *value : options_.inValue;
}

SerialResponder::Match SerialResponder::match(std::size_t& length) const {
  const std::uint8_t first = held_[0];
  if (first <= 0x0F) {
    length = 2;
  } else if (first <= 0x1F || first == 0x40) {
    length = 1;
  } else if (first == 'L') {
    if (held_.size() >= 2 && held_[1] != '0') return Match::Unknown;
    length = 2;
  } else if (first == 'S') {
    length = kIrSendSize;
  } else if (first == kPreambleByte) {
    for (std::size_t i = 1; i < held_.size() && i < kPreambleSize; ++i) {
      if (held_[i] != kPreambleByte) return Match::Unknown;
    }
    length = kPreambleSize;
  } else {
    return Match::Unknown;
  }
  return held_.size() >= length ? Match::Complete : Match::Partial;
}

void SerialResponder::parse(std::vector<Received>& out, bool giveUp) {
  auto flushSkipped = [&] {
    if (skipped_.empty()) return;
    out.push_back(Received{"unknown", toHex(skipped_), false, {}});
    skipped_.clear();
  };
  while (!held_.empty()) {
    std::size_t length = 0;
    const Match m = match(length);
    if (m == Match::Complete) {
      flushSkipped();
      out.push_back(respond(length));
      held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(length));
    } else if (m == Match::Unknown || giveUp) {
      skipped_.push_back(held_[0]);
      held_.erase(held_.begin());
    } else {
      break;
    }
  }
  flushSkipped();
}

Received SerialResponder::respond(std::size_t length) {
  Received r;
  r.detail = toHex(held_.data(), length);
  const std::uint8_t first = held_[0];
  if (first <= 0x0F) {
    r.kind = "output";
    ports_[first] = held_[1];
  } else if (first <= 0x1F) {
    r.kind = "input";
    r.replies.push_back({0, {inputValue(first - 0x10)}});
  } else if (first == 0x40) {
    r.kind = "indata";
    r.replies.push_back({0, {options_.inData}});
  } else if (first == 'L') {
    r.kind = "learn";
    // The prefix bytes go out at once, the code only when the remote has been "recorded".
    if (!options_.learnPrefix.empty()) r.replies.push_back({0, toBytes(options_.learnPrefix)});
    Bytes answer;
    if (options_.learnFail) {
      answer.push_back('N');
    } else {
      answer.push_back('G');
      answer.insert(answer.end(), options_.learnCode.begin(), options_.learnCode.end());
    }
    r.replies.push_back({options_.learnDelayMs, answer});
  } else if (first == 'S') {
    r.kind = "irsend";
    r.replies.push_back({options_.sendDelayMs, options_.sendReply});
  } else {
    r.kind = "preamble";
  }
  return r;
}

}  // namespace kavro::sim
