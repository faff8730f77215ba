// The signal view: exact pixels of the walk, both codings, frame selections and the two traces.
#include "library/signal_view.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "tests/library/recording_surface.h"
#include "tests/library/test_blocks.h"

namespace kavro::test {
namespace {

SignalBlock Make(const Block& bytes) { return SignalBlock(bytes); }

// A surface on which the drawn part of a code of `total` time units is `scale` pixels a unit.
RecordingSurface ScaledSurface(int total, int scale) {
  const int span = total * scale;
  for (int w = span; w < 2 * span + 100; ++w)
    if (w - 2 * (w / 50) == span) return RecordingSurface(w, 67);
  ADD_FAILURE() << "no width for span " << span;
  return RecordingSurface(span, 67);
}

// The drawn part of a path (without the lead-in and the line to the right border) as horizontal
// runs at the high ('H') or low ('L') level in time units, joined runs merged: "H8 L4 ...".
std::string Runs(const std::vector<Point>& path, int high_y, int scale = 1) {
  std::vector<std::pair<char, int>> runs;
  for (std::size_t i = 2; i + 1 < path.size(); ++i) {
    const Point a = path[i - 1], b = path[i];
    if (a.y != b.y || a.x == b.x) continue;
    const char level = a.y == high_y ? 'H' : 'L';
    if (!runs.empty() && runs.back().first == level)
      runs.back().second += b.x - a.x;
    else
      runs.push_back({level, b.x - a.x});
  }
  std::ostringstream out;
  for (const auto& [level, length] : runs) {
    if (length % scale != 0) ADD_FAILURE() << "run " << length << " not a multiple of " << scale;
    out << (out.tellp() > 0 ? " " : "") << level << length / scale;
  }
  return out.str();
}

// LongTime 3, ShortTime 1, AltTime 0, pulse distance, leader 4 / 2, two bits 1 and 0.
Block TwoBitCode() {
  Block b{};
  b[0] = 3;
  b[1] = 1;
  b[4] = 4;
  b[5] = 4;
  b[6] = 2;
  b[19] = 0x80;
  return b;
}

// LongTime 0x30, ShortTime 0x10, leader 0x140 / 0xA0, 32 bits with 16 ones, one frame.
// Total time 320 + 160 + 16 * 64 + 16 * 32 = 2016.
Block ThirtyTwoBitCode() {
  Block b{};
  b[0] = 0x30;
  b[1] = 0x10;
  b[3] = 0x01;
  b[4] = 0x40;
  b[5] = 32 << 1;
  b[6] = 0xA0;
  b[19] = 0xA5;  // 1010 0101
  b[20] = 0x0F;
  b[21] = 0x33;
  b[22] = 0xC3;
  return b;
}

// Bits of a pulse-distance code of width 1 / long 3: "H1 L3" a one, "H1 L1" a zero.
std::string Bits(const std::string& ones_and_zeros) {
  std::string out;
  for (char c : ones_and_zeros) out += c == '1' ? " H1 L3" : " H1 L1";
  return out;
}

TEST(SignalView, TwoBitCodeGivesExactlyTheseLinesInTheUpperTrace) {
  RecordingSurface surface(548, 67);
  SignalView view(surface);
  view.SetCurrent(Make(TwoBitCode()));
  EXPECT_EQ(view.DispLogic(Trace::kUpper, kShowAllFrames), 0);
  EXPECT_EQ(view.TotalTime(), 12);
  EXPECT_EQ(surface.fills, (std::vector<Fill>{{0, 0, 548, 33, kWhite}}));
  // The leader's rising edge begins where the lead-in ended: (10, 5) comes twice.
  const std::vector<Point> expected{
      {0, 28},  {10, 28},  {10, 5},   {10, 5},  {186, 5}, {186, 28}, {274, 28}, {274, 5},
      {318, 5}, {318, 28}, {450, 28}, {450, 5}, {494, 5}, {494, 28}, {538, 28}, {548, 28}};
  ASSERT_EQ(surface.paths.size(), 1u);
  EXPECT_EQ(surface.paths[0], expected);
  EXPECT_EQ(view.Record(Trace::kUpper).bytes(), TwoBitCode());
}

// The geometry for any size of drawing area: u = H / 12, lines at u and H/2 - u (upper) or
// H/2 + u and H - u (lower), margin W / 50, x = span * t / total + margin truncated.
TEST(SignalView, TwoBitCodeAtOtherSizes) {
  struct Case {
    int width, height;
    Trace trace;
    Fill fill;
    std::vector<Point> path;
  };
  const Case cases[] = {
      // span 960: x = 80 t + 20.
      {1000,
       120,
       Trace::kLower,
       {0, 60, 1000, 120, kWhite},
       {{0, 110},
        {20, 110},
        {20, 70},
        {20, 70},
        {340, 70},
        {340, 110},
        {500, 110},
        {500, 70},
        {580, 70},
        {580, 110},
        {820, 110},
        {820, 70},
        {900, 70},
        {900, 110},
        {980, 110},
        {1000, 110}}},
      // span 289: x = 289 t / 12 + 6, every edge but the last truncated.
      {301,
       25,
       Trace::kUpper,
       {0, 0, 301, 12, kWhite},
       {{0, 10},
        {6, 10},
        {6, 2},
        {6, 2},
        {102, 2},
        {102, 10},
        {150, 10},
        {150, 2},
        {174, 2},
        {174, 10},
        {246, 10},
        {246, 2},
        {270, 2},
        {270, 10},
        {295, 10},
        {301, 10}}},
  };
  for (const Case& c : cases) {
    RecordingSurface surface(c.width, c.height);
    SignalView view(surface);
    view.SetCurrent(Make(TwoBitCode()));
    EXPECT_EQ(view.DispLogic(c.trace, kShowAllFrames), 0);
    EXPECT_EQ(surface.fills, std::vector<Fill>{c.fill}) << c.width;
    ASSERT_EQ(surface.paths.size(), 1u);
    EXPECT_EQ(surface.paths[0], c.path) << c.width;

    // Redrawn on a surface of the same size, the trace comes out the same, the current block
    // left alone.
    surface.Reset();
    view.SetCurrent(Make(ThreeFrameCode()), "other");
    EXPECT_EQ(view.Redraw(c.trace), 0);
    EXPECT_EQ(surface.paths.at(0), c.path);
    EXPECT_EQ(view.Current().bytes(), ThreeFrameCode());
  }
}

TEST(SignalView, PulseDistanceAndPulseWidthCoding) {
  const std::string bits = "10100101000011110011001111000011";
  std::string distance = "H320 L160", widths = "H320 L160";
  for (char c : bits) {
    distance += c == '1' ? " H16 L48" : " H16 L16";
    widths += c == '1' ? " H48 L16" : " H16 L16";
  }
  RecordingSurface surface = ScaledSurface(2016, 1);
  const int margin = surface.ClientWidth() / 50;
  SignalView view(surface);
  Block code = ThirtyTwoBitCode();
  view.SetCurrent(Make(code));
  ASSERT_EQ(view.DispLogic(Trace::kUpper, kShowAllFrames), 0);
  EXPECT_EQ(Runs(surface.paths[0], 5), distance);
  // The last space ends at the right end of the span; a low line goes on to the border.
  const std::vector<Point>& path = surface.paths[0];
  EXPECT_EQ(path[path.size() - 2], (Point{margin + 2016, 28}));
  EXPECT_EQ(path.back(), (Point{surface.ClientWidth(), 28}));

  code[3] |= 0x80;  // pulse width coding
  surface.Reset();
  view.SetCurrent(Make(code));
  ASSERT_EQ(view.DispLogic(Trace::kUpper, kShowAllFrames), 0);
  EXPECT_EQ(Runs(surface.paths[0], 5), widths);
}

TEST(SignalView, AltTimeZeroDrawsAsShortTime) {
  for (unsigned char coding : {0x00, 0x80}) {
    Block zero = ThirtyTwoBitCode();
    zero[3] |= coding;
    Block same = zero;
    same[2] = same[1];
    RecordingSurface a(548, 67), b(548, 67);
    SignalView view_a(a), view_b(b);
    view_a.SetCurrent(Make(zero));
    view_b.SetCurrent(Make(same));
    view_a.DispLogic(Trace::kUpper, kShowAllFrames);
    view_b.DispLogic(Trace::kUpper, kShowAllFrames);
    EXPECT_EQ(a.paths, b.paths);
    // A distinct AltTime does change the zeros.
    same[2] = 5;
    b.Reset();
    view_b.SetCurrent(Make(same));
    view_b.DispLogic(Trace::kUpper, kShowAllFrames);
    EXPECT_NE(a.paths, b.paths);
  }
}

TEST(SignalView, ThreeFrameCodeWholeAndFrameByFrame) {
  // Drawn ten pixels a time unit, so that every run comes out exact.
  auto draw = [](int selection, int total) {
    RecordingSurface surface = ScaledSurface(total, 10);
    SignalView view(surface);
    view.SetCurrent(Make(ThreeFrameCode()));
    EXPECT_EQ(view.DispLogic(Trace::kUpper, selection), 0);
    EXPECT_EQ(view.TotalTime(), total);
    return Runs(surface.paths.at(0), 5, 10);
  };
  // "ALL": the pauses are low stretches between the frames.
  EXPECT_EQ(draw(0, 206),
            "H8 L4" + Bits("101") + " H1 L101 H6 L3" + Bits("11") + " H1 L51 H5 L2" + Bits("01"));
  // "-1-": frame 1 alone, the pauses and frame 2 left out.
  EXPECT_EQ(draw(1, 24), "H8 L4" + Bits("1010"));
  // "-2-": frame 2 from the margin, going on with the fifth data bit.
  EXPECT_EQ(draw(2, 19), "H6 L3" + Bits("110"));
  EXPECT_EQ(draw(3, 13), "H5 L2" + Bits("01"));
}

TEST(SignalView, BitsBeyondTheEightyOfTheBlockReadAsZero) {
  RecordingSurface surface(548, 67);
  SignalView view(surface);
  view.SetCurrent(Make(LongFrameCode()));
  ASSERT_EQ(view.DispLogic(Trace::kUpper, kShowAllFrames), 0);
  EXPECT_EQ(view.TotalTime(), 6 + 80 * 4 + 47 * 2);
}

TEST(SignalView, NothingToDrawLeavesTheTraceWhite) {
  RecordingSurface surface(548, 67);
  SignalView view(surface);
  auto only_cleared = [&](int selection) {
    surface.Reset();
    const int result = view.DispLogic(Trace::kUpper, selection);
    return result == -1 && surface.paths.empty() && surface.fills.size() == 1;
  };
  EXPECT_TRUE(only_cleared(kShowAllFrames)) << "empty block";

  Block no_bits = TwoBitCode();
  no_bits[19] = 0;
  view.SetCurrent(Make(no_bits));
  EXPECT_TRUE(only_cleared(kShowAllFrames)) << "byte 19 zero";

  view.SetCurrent(Make(TwoBitCode()));
  EXPECT_TRUE(only_cleared(-1)) << "no frame selection";
  EXPECT_TRUE(only_cleared(2)) << "a frame 2 the code lacks";

  Block two_frames = ThreeFrameCode();
  two_frames[13] = 0;
  view.SetCurrent(Make(two_frames));
  EXPECT_TRUE(only_cleared(3)) << "a frame 3 the code lacks";
  EXPECT_FALSE(only_cleared(2));
}

TEST(SignalView, EachTraceRedrawsItsOwnCode) {
  RecordingSurface surface(548, 67);
  SignalView view(surface);
  view.SetCurrent(Make(TwoBitCode()));
  view.DispLogic(Trace::kUpper, kShowAllFrames);
  const auto first_picture = surface.paths;

  // Nothing has been drawn in the lower trace yet: switching there draws nothing at all.
  surface.Reset();
  EXPECT_EQ(view.SwitchTrace(Trace::kLower, kShowAllFrames), -1);
  EXPECT_TRUE(surface.fills.empty());
  EXPECT_TRUE(surface.paths.empty());

  // The lower trace: its own half of the area, high line 38 and low line 62.
  surface.Reset();
  view.SetCurrent(Make(TwoBitCode()));
  EXPECT_EQ(view.DispLogic(Trace::kLower, kShowAllFrames), 0);
  EXPECT_EQ(surface.fills, (std::vector<Fill>{{0, 33, 548, 67, kWhite}}));
  std::vector<Point> lower = first_picture.at(0);
  for (Point& p : lower) p.y = p.y == 5 ? 38 : 62;
  EXPECT_EQ(surface.paths.at(0), lower);

  view.SetCurrent(Make(ThreeFrameCode()));
  EXPECT_EQ(view.DispLogic(Trace::kLower, kShowAllFrames), 0);

  surface.Reset();
  EXPECT_EQ(view.SwitchTrace(Trace::kUpper, kShowAllFrames), 0);
  EXPECT_EQ(surface.paths, first_picture);
  EXPECT_EQ(view.Current().bytes(), TwoBitCode());

  // Emptied records draw nothing until drawn again.
  view.Clear();
  surface.Reset();
  EXPECT_EQ(view.SwitchTrace(Trace::kLower, kShowAllFrames), -1);
  EXPECT_TRUE(surface.paths.empty());
}

}  // namespace
}  // namespace kavro::test
