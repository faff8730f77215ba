#include "codec/decode.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tests/codec/codec_test_blocks.h"

namespace kavro::codec {
namespace {

using test::BlockDef;
using test::MakeBlock;

constexpr int kNone = -1;  // no subdevice

struct DecodeCase {
  const char* name;
  BlockDef block;
  const char* protocol;
  int device;
  int subdevice;
  int function;
  bool confident;
};

// Nominal timings with units that give ShortTime 20 to 60; leaderless frames store their first
// bit as the leader.
const DecodeCase kCases[] = {
    {"Nec1_32Bits", {120, 40, 0, false, {{640, 320, 32}}, "20DF10EF"}, "NEC1", 4, 251, 8, true},
    {"Nec1_WithDitto",
     {72, 24, 0, false, {{384, 192, 33}, {384, 96, 1}}, "20DF10EF00"},
     "NEC1",
     4,
     251,
     8,
     true},
    {"Nec1_MarksStretched",  // a learned frame: marks 15 % long, spaces short by as much
     {92, 36, 28, false, {{527, 250, 33}}, "20DF10EF00"},
     "NEC1",
     4,
     251,
     8,
     true},
    {"Nec2",
     {150, 50, 0, false, {{800, 400, 33}, {800, 400, 33}}, "20DF10EF106F887780"},
     "NEC2",
     4,
     251,
     8,
     true},
    {"Nec1F16", {96, 32, 0, false, {{512, 256, 33}}, "20DF10E000"}, "NEC1-f16", 4, 251, 1800, true},
    {"Nec1_DittoAndRepeatMixed",
     {96, 32, 0, false, {{512, 256, 33}, {512, 128, 1}, {512, 256, 33}}, "20DF10EF0837C43BC0"},
     "NEC1",
     4,
     251,
     8,
     false},
    {"Necx1",
     {90, 30, 0, false, {{240, 240, 33}, {240, 240, 2}}, "E0E040BF40"},
     "NECx1",
     7,
     7,
     2,
     true},
    {"Samsung20", {105, 35, 0, false, {{280, 280, 21}}, "A14260"}, "Samsung20", 5, 10, 100, true},
    {"Aiwa",
     {84, 28, 0, false, {{448, 224, 43}, {448, 224, 1}}, "76C449C43BC0"},
     "Aiwa",
     110,
     3,
     8,
     true},
    {"Jvc_RepeatWithoutLeader",
     {75, 25, 0, false, {{400, 200, 17}, {25, 75, 16}}, "C0E840E800"},
     "JVC",
     3,
     kNone,
     23,
     true},
    {"Panasonic",
     {81, 27, 0, false, {{216, 108, 49}}, "40040100BCBD00"},
     "Panasonic",
     128,
     0,
     61,
     true},
    {"Panasonic_CheckFails",
     {81, 27, 0, false, {{216, 108, 49}}, "40040100BC3C00"},
     "Panasonic",
     128,
     0,
     61,
     false},
    {"Sony12_ThreeFrames",
     {80, 40, 0, true, {{160, 40, 12}, {160, 40, 12}, {160, 40, 12}}, "A90A90A9"},
     "Sony12",
     1,
     kNone,
     21,
     true},
    {"Sony12_OneFrameIsUnsure",
     {80, 40, 0, true, {{160, 40, 12}}, "A90"},
     "Sony12",
     1,
     kNone,
     21,
     false},
    {"Sony20",
     {90, 45, 0, true, {{180, 45, 20}, {180, 45, 20}}, "B4B13B4B13"},
     "Sony20",
     26,
     200,
     45,
     true},
    {"Sharp",
     {168, 24, 72, false, {{24, 168, 15}, {24, 168, 15}}, "040817E8"},
     "Sharp",
     1,
     kNone,
     2,
     true},
    {"Denon",
     {168, 24, 72, false, {{24, 168, 15}, {24, 168, 15}}, "040017F8"},
     "Denon",
     1,
     kNone,
     2,
     true},
    {"Mitsubishi",
     {210, 30, 90, false, {{30, 210, 16}, {30, 210, 16}}, "C426C426"},
     "Mitsubishi",
     71,
     kNone,
     200,
     true},
    {"Rca",
     {120, 30, 60, false, {{240, 240, 25}, {240, 240, 25}}, "A545AB52A2D580"},
     "RCA",
     10,
     kNone,
     0x54,
     true},
    {"Unknown_SpaceSevenTimesMark",
     {210, 30, 0, false, {{480, 240, 33}, {480, 240, 33}}, "20DF"},
     "",
     0,
     0,
     0,
     false},
};

const BlockDef& Case(std::string_view name) {
  for (const DecodeCase& c : kCases)
    if (name == c.name) return c.block;
  throw std::logic_error("no such case");
}

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class DecodeTable : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, FindsProtocolFieldsAndConfidence) {
  const DecodeCase& c = GetParam();
  const Decoded decoded = Decode(MakeBlock(c.block));
  EXPECT_EQ(decoded.protocol, c.protocol);
  EXPECT_EQ(decoded.confident, c.confident);
  if (decoded.protocol.empty()) return;
  EXPECT_EQ(decoded.device, c.device);
  EXPECT_EQ(decoded.subdevice, c.subdevice == kNone ? std::nullopt : std::optional(c.subdevice));
  EXPECT_EQ(decoded.function, c.function);
}

INSTANTIATE_TEST_SUITE_P(Protocols, DecodeTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decode, PublishedNecBlockAndItsShape) {
  const Decoded decoded =
      Decode(test::FromHex("6020000200430000000000000000000000000020DF10EF000000000000"));
  EXPECT_EQ(DecodeSummary(decoded), "NEC1  device 4.251  function 8");
  EXPECT_EQ(decoded.frames, 1);
  EXPECT_EQ(decoded.bits, 33);
  EXPECT_FALSE(decoded.width_coding);
}

TEST(Decode, Summaries) {
  EXPECT_EQ(DecodeSummary(Decode(MakeBlock(Case("Panasonic_CheckFails")))),
            "Panasonic  device 128.0  function 61 (check failed)");
  EXPECT_EQ(DecodeSummary(Decode(MakeBlock(Case("Sony12_ThreeFrames")))),
            "Sony12  device 1  function 21");
  EXPECT_EQ(DecodeSummary(Decode(MakeBlock(Case("Unknown_SpaceSevenTimesMark")))),
            "unknown: pulse distance, 66 bits, 2 frames");
  EXPECT_EQ(DecodeSummary(Decode(MakeBlock({80, 40, 0, true, {{400, 40, 1}}, "80"}))),
            "unknown: pulse width, 1 bit, 1 frame");
}

TEST(Decode, BriefFormsAndIncompleteLearns) {
  const SignalBlock nec =
      test::FromHex("6020000200430000000000000000000000000020DF10EF000000000000");
  EXPECT_EQ(DecodeBrief(Decode(nec)), "NEC1 4.251 8");
  EXPECT_FALSE(LooksIncomplete(nec));
  const SignalBlock failing = MakeBlock(Case("Panasonic_CheckFails"));
  EXPECT_EQ(DecodeBrief(Decode(failing)), "Panasonic 128.0 61 ?");
  EXPECT_TRUE(LooksIncomplete(failing));
  EXPECT_EQ(DecodeBrief(Decode(MakeBlock(Case("Unknown_SpaceSevenTimesMark")))), "");
  EXPECT_FALSE(LooksIncomplete(MakeBlock(Case("Unknown_SpaceSevenTimesMark"))));
  // No bits counted in the first frame, and no signal at all.
  EXPECT_TRUE(
      LooksIncomplete(test::FromHex("6020000200010000000000000000000000000020DF10EF000000000000")));
  EXPECT_TRUE(LooksIncomplete(SignalBlock()));
}

// The block format reads a zero first data byte as no code at all.
TEST(Decode, EmptyBlockIsUnknown) {
  EXPECT_FALSE(Decode(MakeBlock({96, 32, 0, false, {{512, 256, 33}}, "00FF08F7"})).Known());
  EXPECT_FALSE(Decode(SignalBlock()).Known());
}

TEST(Decode, NominalCarriers) {
  EXPECT_EQ(NominalCarrier("NEC1"), 38400);
  EXPECT_EQ(NominalCarrier("sony12"), 40000);
  EXPECT_EQ(NominalCarrier("Panasonic"), 37000);
  EXPECT_EQ(NominalCarrier("RCA"), 58000);
  EXPECT_EQ(NominalCarrier("RC5"), 0);
  EXPECT_EQ(NominalCarrier(""), 0);
}

}  // namespace
}  // namespace kavro::codec
