// Blocks to microseconds and back: round trips of hand-made protocol blocks, a fit of timings
// as an export from another tool gives them, and the signals the block cannot hold.
#include "codec/timings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "codec/pieces.h"
#include "datafile/hex_text.h"

namespace kavro::codec {
namespace {

SignalBlock FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  bytes.resize(HexTextToBytes(hex, bytes));
  return SignalBlock(bytes);
}

// NEC1 device 4 function 8 (0x20DF10EF) and a stop bit, then its ditto frame: T = 564 µs at
// 17.625 µs a count, so Short 32, Long 96, leader 512 / 256, ditto leader 512 / 128, pause 2256.
constexpr const char* kNec1WithDitto = "6020000200430088D00200028000000000000020DF10EF000000000000";

// A pulse distance frame in µs: the leader (none when its mark is 0), per bit a mark of t and
// a space of t (0) or 3t (1), the stop mark, then the space `end_us`.
std::vector<int32_t> DistanceFrame(int t, int leader_mark, int leader_space,
                                   const std::string& bits, int end_us) {
  std::vector<int32_t> us;
  if (leader_mark > 0) us = {leader_mark, -leader_space};
  for (char bit : bits) us.insert(us.end(), {t, bit == '1' ? -3 * t : -t});
  us.insert(us.end(), {t, -end_us});
  return us;
}

const std::string kNecBits = "00100000110111110001000011101111";

std::vector<int32_t> Join(std::vector<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Timings, HandMadeBlocksSurviveTheRoundTrip) {
  struct Case {
    const char* what;
    const char* hex;
    double unit_ns;
  };
  const Case cases[] = {
      {"NEC1 with a ditto frame", kNec1WithDitto, 17625},
      // D=1 F=21, T = 600 µs: Short 24, Long 48, leader 96 / 24, pauses 1008, pulse width.
      {"Sony12, 3 frames", "3018008060181883F00060181883F000601818A90A90A9000000000000", 25000},
      // Panasonic 40 04 01 00 BC BD and a stop bit, T = 432 µs: Short 24, Long 72.
      {"Kaseikyo, 48+1 bits", "48180000C0626000000000000000000000000040040100BCBD00000000", 18000},
      // D=1 F=3 and frame 2 with ~F, T = 264 µs: Short 22, Alt 66, Long 154, pause 3333. Each
      // first bit (a 1) is the leader 22 / 154, leaving 15 bits a frame.
      {"Sharp pair, leaderless", "9A164200161E9A8D0500161E9A0000000000000C0807E8000000000000",
       12000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SignalBlock block = FromHex(c.hex);
    const IrSignal signal = BlockToSignal(block, c.unit_ns, 38000);
    EXPECT_EQ(signal.carrier_hz, 38000);
    EXPECT_TRUE(signal.repeat.empty());
    const Outcome<SignalBlock> fitted = FitSignal(signal, c.unit_ns);
    ASSERT_TRUE(fitted) << fitted.reason();

    EXPECT_EQ(fitted->WidthCoding(), block.WidthCoding());
    const std::vector<Piece> want = WalkBlock(block), got = WalkBlock(*fitted);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].kind, want[i].kind) << "piece " << i;
      EXPECT_EQ(got[i].frame, want[i].frame) << "piece " << i;
      EXPECT_EQ(got[i].bit, want[i].bit) << "piece " << i;
      EXPECT_LE(std::abs(got[i].counts - want[i].counts), 1) << "piece " << i;
    }
  }
}

TEST(Timings, BlockToSignalJoinsEachPauseToTheSpaceBeforeIt) {
  const IrSignal signal = BlockToSignal(FromHex(kNec1WithDitto), 17625, 38400);
  ASSERT_EQ(signal.intro.size(), 2 + 2 * 33 + 2 + 2u);
  EXPECT_EQ(std::vector<int32_t>(signal.intro.begin(), signal.intro.begin() + 4),
            (std::vector<int32_t>{9024, -4512, 564, -564}));
  // The stop bit's space of 32 counts and the pause of 2256: 2288 × 17.625 µs.
  EXPECT_EQ(signal.intro[67], -40326);
  EXPECT_EQ(std::vector<int32_t>(signal.intro.end() - 4, signal.intro.end()),
            (std::vector<int32_t>{9024, -2256, 564, -564}));
}

TEST(Timings, FitsTimingsWithLeadOutsAndARepeat) {
  // As an exchange format holds NEC1: the frame and its lead-out as the intro, the ditto as the
  // repeat. The lead-out after the ditto is no part of the block.
  IrSignal signal;
  signal.intro = DistanceFrame(564, 9024, 4512, kNecBits, 40326);
  signal.repeat = {9024, -2256, 564, -96156};
  const Outcome<SignalBlock> fitted = FitSignal(signal, 17625);
  ASSERT_TRUE(fitted) << fitted.reason();
  std::vector<unsigned char> want;
  HexTextToBytes(kNec1WithDitto, want);
  EXPECT_EQ(std::vector<unsigned char>(fitted->bytes().begin(), fitted->bytes().end()),
            std::vector<unsigned char>(want.begin(), want.begin() + kSignalBlockSize));
}

TEST(Timings, ALeaderlessFrameStoresItsFirstBitAsExactlyThatSymbol) {
  // Sharp D=1 F=3 as measured, at 12 µs a count: marks 300 µs (25 counts), spaces 700 µs (58,
  // a 0) and 1750 µs (146, a 1); the first bit, a 1, came out as 330 / 1800 µs.
  IrSignal signal;
  signal.intro = DistanceFrame(300, 0, 0, "100001100000010", 40000);
  for (std::size_t i = 1; i < signal.intro.size() - 1; i += 2)
    signal.intro[i] = signal.intro[i] == -300 ? -700 : -1750;
  signal.intro[0] = 330;
  signal.intro[1] = -1800;
  const Outcome<SignalBlock> fitted = FitSignal(signal, 12000);
  ASSERT_TRUE(fitted) << fitted.reason();
  EXPECT_EQ(fitted->ShortTime(), 25);
  EXPECT_EQ(fitted->LongTime(), 146);
  EXPECT_EQ(fitted->AltTime(), 58);
  EXPECT_EQ(fitted->LeaderMark(1), 25);
  EXPECT_EQ(fitted->LeaderSpace(1), 146);
  EXPECT_EQ(fitted->BitCount(1), 15);
}

TEST(Timings, SignalsTheBlockCannotHoldAreRefusedWithTheReason) {
  const std::vector<int32_t> nec = DistanceFrame(564, 9024, 4512, kNecBits, 40326);
  const std::vector<int32_t> ditto = {9024, -2256, 564, -96156};
  std::vector<int32_t> rc_mm = {417, -278};
  for (int symbol : {0, 1, 2, 3, 3, 2, 1, 0, 1, 3, 0, 2})
    rc_mm.insert(rc_mm.end(), {167, -278 - 167 * symbol});
  rc_mm.push_back(167);
  struct Case {
    const char* what;
    std::vector<int32_t> us;
    double unit_ns;
    const char* reason;
  };
  const Case cases[] = {
      {"RC5 device 5 function 35",
       {889,  -889, 1778, -889, 889,  -889, 889,   -1778, 1778, -1778, 889,
        -889, 1778, -889, 889,  -889, 889,  -1778, 889,   -889, 889},
       17625,
       "bi-phase coding"},
      {"RC-MM", rc_mm, 10000, "4 symbol widths"},
      {"a frame and three dittos", Join({nec, ditto, ditto, ditto}), 17625, "4 frames"},
      {"96 data bits and a stop bit", DistanceFrame(564, 9024, 4512, std::string(96, '1'), 40000),
       17625, "97 bits"},
      {"a leader mark of 24.7 ms", DistanceFrame(564, 24675, 4512, kNecBits, 40000), 17625,
       "leader mark 1400 counts > 1023"},
      {"a bit space of 6 ms", DistanceFrame(2000, 9000, 4500, kNecBits, 80000), 20000,
       "bit piece 300 counts > 255"},
      {"a pause of 40000 counts", Join({DistanceFrame(564, 9024, 4512, kNecBits, 705564), ditto}),
       17625, "pause 40000 counts > 32767"},
      {"frame 2 at a longer base unit",
       Join({nec, DistanceFrame(900, 9024, 4512, kNecBits, 40000)}), 17625,
       "bit timing differs between frames"},
      {"a space first", {-500, 500}, 17625, "the signal begins with a space"},
  };
  for (const Case& c : cases) {
    IrSignal signal;
    signal.intro = c.us;
    const Outcome<SignalBlock> fitted = FitSignal(signal, c.unit_ns);
    EXPECT_FALSE(fitted) << c.what;
    EXPECT_EQ(fitted.reason(), c.reason) << c.what;
  }
}

}  // namespace
}  // namespace kavro::codec
