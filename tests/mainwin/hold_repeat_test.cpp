// Hold to repeat, on a clock moved by hand: how many sends a press of a given length makes while
// each exchange takes a given time, and that nothing starts after the release.
#include "mainwin/hold_repeat.h"

#include <gtest/gtest.h>

namespace kavro {
namespace {

using std::chrono::milliseconds;

struct HoldCase {
  const char* what;
  bool repeats;          // false: learn mode
  int exchange_ms;       // how long the link is busy after a send starts
  int hold_ms;           // from press to release
  int sends_while_held;  // sends started by the hold
  bool click_sends;      // the click after the release sends (once)
};

TEST(HoldRepeat, SendsWhileHeldAndNothingAfterTheRelease) {
  const HoldCase cases[] = {
      {"a short press is a click", true, 20, 250, 0, true},
      {"quick exchanges: one start every interval", true, 20, 650, 4, false},  // 300 400 500 600
      {"slow exchanges: each starts when the last ended", true, 150, 650, 3, false},  // 300 450 600
      {"released while the last exchange is in flight", true, 150, 620, 3, false},
      {"learn mode: a held key learns once", false, 20, 2000, 0, true},
  };
  for (const HoldCase& c : cases) {
    milliseconds now{5000};
    HoldRepeat hold([&now] { return now; }, {milliseconds{300}, milliseconds{100}});
    bool busy = false;
    milliseconds busy_until{0};
    int sends = 0;
    auto step = [&] {
      if (busy && now >= busy_until) busy = false;
      const std::optional<milliseconds> due = hold.NextSendIn(!busy);
      if (due && due->count() == 0) {
        hold.Started();
        ++sends;
        busy = true;
        busy_until = now + milliseconds{c.exchange_ms};
      }
    };
    const milliseconds pressed = now;
    hold.Press(7, c.repeats);
    for (; now - pressed < milliseconds{c.hold_ms}; now += milliseconds{1}) step();
    hold.Release(3);  // another key's release changes nothing
    EXPECT_EQ(hold.HeldKey(), 7) << c.what;
    hold.Release(7);
    for (int i = 0; i < 2000; ++i, now += milliseconds{1}) step();
    EXPECT_EQ(sends, c.sends_while_held) << c.what;
    EXPECT_EQ(hold.ClickSends(7), c.click_sends) << c.what;
    EXPECT_TRUE(hold.ClickSends(7)) << c.what << ": a later click on its own always sends";
  }
}

}  // namespace
}  // namespace kavro
