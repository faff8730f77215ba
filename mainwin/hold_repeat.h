// Holding a key down sends its code again and again, as a remote control does while its button
// is held. The rules without the widgets: a key sends without waiting for its release once it has
// been held for a while, then again each time the link has finished the previous exchange, never
// two starts closer than the interval. A short press stays a click that sends once on release;
// after a release nothing new starts.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace kavro {

class HoldRepeat {
 public:
  using Millis = std::chrono::milliseconds;
  // Monotonic time; tests hand in a clock they move by hand.
  using Clock = std::function<Millis()>;

  struct Timing {
    // A press held this long is a hold, and the key sends while still down.
    Millis first_send{300};
    // The least time from one start of a send to the next.
    Millis interval{100};
  };

  explicit HoldRepeat(Clock clock = SteadyNow);
  HoldRepeat(Clock clock, Timing timing);

  void SetTiming(Timing timing) { timing_ = timing; }

  // Key `key` went down. `repeats` false (learn mode) makes the press a plain click.
  void Press(int key, bool repeats);
  // Key `key` went up, or the pointer left it: nothing more starts. Other keys are ignored.
  void Release(int key);
  // Asked by the key's click, which follows its release: true when the click should send, that
  // is when the press sent nothing while it was held.
  bool ClickSends(int key);

  // How long until the held key's next send is due (zero: now). Nothing when no send is to come
  // on its own: no key held, a plain click, or `link_idle` false (the previous exchange has not
  // ended; ask again when it has).
  std::optional<Millis> NextSendIn(bool link_idle) const;
  // The held key's send has just been started.
  void Started();

  // The key held down, or -1.
  int HeldKey() const { return held_; }

  static Millis SteadyNow();

 private:
  Clock clock_;
  Timing timing_;
  int held_ = -1;
  bool repeats_ = false;
  bool sent_ = false;  // the current hold has sent
  int click_suppressed_ = -1;
  Millis pressed_at_{0};
  Millis last_start_{0};
};

}  // namespace kavro
