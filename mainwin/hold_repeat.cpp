#include "mainwin/hold_repeat.h"

#include <algorithm>

namespace kavro {

HoldRepeat::HoldRepeat(Clock clock) : HoldRepeat(std::move(clock), Timing{}) {}

HoldRepeat::HoldRepeat(Clock clock, Timing timing) : clock_(std::move(clock)), timing_(timing) {}

HoldRepeat::Millis HoldRepeat::SteadyNow() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void HoldRepeat::Press(int key, bool repeats) {
  held_ = key;
  repeats_ = repeats;
  sent_ = false;
  click_suppressed_ = -1;
  pressed_at_ = clock_();
}

void HoldRepeat::Release(int key) {
  if (key != held_ || held_ < 0) return;
  // The click that Qt delivers after this release must not send a second time.
  click_suppressed_ = sent_ ? key : -1;
  held_ = -1;
}

bool HoldRepeat::ClickSends(int key) {
  const bool sends = click_suppressed_ != key;
  click_suppressed_ = -1;
  return sends;
}

std::optional<HoldRepeat::Millis> HoldRepeat::NextSendIn(bool link_idle) const {
  if (held_ < 0 || !repeats_ || !link_idle) return std::nullopt;
  const Millis due = sent_ ? last_start_ + timing_.interval : pressed_at_ + timing_.first_send;
  return std::max(Millis{0}, due - clock_());
}

void HoldRepeat::Started() {
  last_start_ = clock_();
  sent_ = true;
}

}  // namespace kavro
