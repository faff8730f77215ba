#include "codec/encode.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "codec/decode.h"
#include "datafile/hex_text.h"
#include "tests/codec/codec_test_blocks.h"

namespace kavro::codec {
namespace {

std::string Hex(const SignalBlock& block) { return BytesToHexText(block.bytes()); }

TEST(Encode, Nec1MatchesThePublishedBlockPlusItsDitto) {
  // IRDB's POWER,NEC1,4,-1,8 with U = 564/32 us: the published one-frame block, then a pause
  // that makes the period 108 ms (2224 counts) and the ditto 16:4 with its stop bit.
  const auto block = Encode({"NEC1", 4, -1, 8}, {17625.0});
  ASSERT_TRUE(block) << block.reason();
  EXPECT_EQ(Hex(*block), "6020000200430088B00200028000000000000020DF10EF000000000000");
}

TEST(Encode, Sony12IsThreeIdenticalFrames) {
  const auto block = Encode({"Sony12", 1, -1, 21}, {15000.0});
  ASSERT_TRUE(block) << block.reason();
  EXPECT_EQ(test::BitHex(*block), "A90A90A9000000000000");
  EXPECT_TRUE(block->WidthCoding());
  EXPECT_TRUE(block->HasFrame3());
}

struct RoundTrip {
  EncodeRequest request;
  double unit_ns;
  const char* protocol;  // as decoded
  int subdevice;         // as decoded; -1: none
};

void PrintTo(const RoundTrip& c, std::ostream* out) { *out << c.request.protocol; }

class EncodeDecode : public testing::TestWithParam<RoundTrip> {};

TEST_P(EncodeDecode, DecodesToTheSameNumbers) {
  const RoundTrip& c = GetParam();
  const auto block = Encode(c.request, {c.unit_ns});
  ASSERT_TRUE(block) << block.reason();
  const Decoded decoded = Decode(*block);
  EXPECT_EQ(decoded.protocol, c.protocol);
  EXPECT_TRUE(decoded.confident);
  EXPECT_EQ(decoded.device, c.request.device);
  EXPECT_EQ(decoded.subdevice, c.subdevice < 0 ? std::nullopt : std::optional(c.subdevice));
  EXPECT_EQ(decoded.function, c.request.function);
}

INSTANTIATE_TEST_SUITE_P(
    Protocols, EncodeDecode,
    testing::Values(RoundTrip{{"nec1", 64, -1, 17}, 15000, "NEC1", 191},
                    RoundTrip{{"NEC2", 64, 12, 17}, 10000, "NEC2", 12},
                    RoundTrip{{"NEC1-f16", 64, -1, 4660}, 15000, "NEC1-f16", 191},
                    RoundTrip{{"NEC2-f16", 64, -1, 4660}, 15000, "NEC2-f16", 191},
                    RoundTrip{{"NECx1", 7, 7, 2}, 15000, "NECx1", 7},
                    RoundTrip{{"NECx2", 7, -1, 2}, 15000, "NECx2", 248},
                    RoundTrip{{"Samsung20", 5, 10, 100}, 15000, "Samsung20", 10},
                    RoundTrip{{"Aiwa", 110, 3, 8}, 15000, "Aiwa", 3},
                    RoundTrip{{"JVC", 3, -1, 23}, 15000, "JVC", -1},
                    RoundTrip{{"Panasonic", 128, 0, 61}, 16000, "Panasonic", 0},
                    RoundTrip{{"Denon-K", 5, 9, 1234}, 16000, "Denon-K", 9},
                    RoundTrip{{"Mitsubishi-K", 70, 200, 33}, 16000, "Mitsubishi-K", 200},
                    RoundTrip{{"Fujitsu", 99, -1, 17}, 16000, "Fujitsu", 99},
                    RoundTrip{{"Teac-K", 3, 130, 77}, 16000, "Teac-K", 130},
                    RoundTrip{{"SharpDVD", 7, 44, 200}, 16000, "Sharp-K", 44},
                    RoundTrip{{"JVC-48", 3, 1, 33}, 16000, "JVC-48", 1},
                    RoundTrip{{"Sony15", 164, -1, 80}, 15000, "Sony15", -1},
                    RoundTrip{{"Sony20", 26, 200, 45}, 15000, "Sony20", 200},
                    RoundTrip{{"Sharp", 1, -1, 2}, 10000, "Sharp", -1},
                    RoundTrip{{"Denon", 21, -1, 130}, 10000, "Denon", -1},
                    RoundTrip{{"Mitsubishi", 71, -1, 200}, 10000, "Mitsubishi", -1},
                    RoundTrip{{"RCA", 10, -1, 0x54}, 15000, "RCA", -1}));

// With a confident code of the same protocol no unit is needed: its timing bytes are kept and
// what it lacks (here the ditto frame) comes from the unit its own durations imply.
TEST(Encode, TemplateTimingIsKept) {
  const SignalBlock learned =
      test::FromHex("6020000200430000000000000000000000000020DF10EF000000000000");
  const auto block = Encode({"NEC1", 4, -1, 9}, {std::nullopt, &learned});
  ASSERT_TRUE(block) << block.reason();
  EXPECT_EQ(Hex(*block).substr(0, 14), "60200002004300");
  EXPECT_EQ(test::BitHex(*block), "20DF906F000000000000");
  EXPECT_EQ(block->LeaderMark(2), 512);
  EXPECT_EQ(block->LeaderSpace(2), 128);
  EXPECT_TRUE(Decode(*block).confident);
}

struct Refusal {
  EncodeRequest request;
  std::optional<double> unit_ns;
  const char* reason;  // the reason's beginning
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.reason; }

class EncodeRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(EncodeRefuses, WithTheReason) {
  const Refusal& c = GetParam();
  const auto block = Encode(c.request, {c.unit_ns});
  ASSERT_FALSE(block);
  EXPECT_EQ(block.reason().substr(0, std::string(c.reason).size()), c.reason) << block.reason();
}

INSTANTIATE_TEST_SUITE_P(
    Requests, EncodeRefuses,
    testing::Values(
        Refusal{{"RC5", 0, -1, 12}, 15000, "RC5 is bi-phase coded"},
        Refusal{{"rc6", 0, -1, 12}, 15000, "RC6 is bi-phase coded"},
        Refusal{{"XMP", 0, -1, 12}, 15000, "XMP uses four symbol widths"},
        Refusal{{"Foo", 0, -1, 12}, 15000, "unknown protocol Foo"},
        Refusal{{"Kaseikyo", 1, 2, 3}, 15000, "Kaseikyo needs a vendor code"},
        Refusal{{"NEC1", 4, -1, 300}, 15000, "function 300 > 255"},
        Refusal{{"NEC1", -2, -1, 8}, 15000, "device -2 < 0"},
        Refusal{{"Aiwa", 4, 40, 8}, 15000, "subdevice 40 > 31"},
        Refusal{{"Sony12", 1, 3, 21}, 15000, "Sony12 has no subdevice (give -1)"},
        Refusal{{"Samsung20", 1, -1, 21}, 15000, "Samsung20 needs a subdevice"},
        Refusal{{"NEC1", 4, -1, 8},
                std::nullopt,
                "no NEC1 code to take the timing from, and the time unit"},
        Refusal{{"NEC1", 4, -1, 8}, 8000, "leader mark 1128 counts > 1023"},
        Refusal{{"Sharp", 1, -1, 2}, 5000, "bit piece 370 counts > 255"},
        Refusal{
            {"NEC1", 4, -1, 8},
            400000,
            "a unit of 400000 ns is too coarse for NEC1: its bit pieces would be 1 and 4 counts"},
        Refusal{{"NEC1", 0, -1, 8}, 15000, "the first 8 data bits are all 0"}));

TEST(Encode, TemplateOfAnotherProtocolNeedsAUnit) {
  const auto sony = Encode({"Sony12", 1, -1, 21}, {15000.0});
  ASSERT_TRUE(sony);
  const auto refused = Encode({"NEC1", 4, -1, 8}, {std::nullopt, &*sony});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.reason(),
            "the code to take the timing from is not a sure NEC1 code (Sony12  device 1  "
            "function 21)");
  EXPECT_TRUE(Encode({"NEC1", 4, -1, 8}, {15000.0, &*sony}));
}

TEST(Encode, ProtocolsInDecoderOrder) {
  const std::vector<std::string> names = EncodableProtocols();
  ASSERT_EQ(names.size(), 23u);
  EXPECT_EQ(names.front(), "Sony12");
  EXPECT_EQ(names.back(), "RCA");
}

}  // namespace
}  // namespace kavro::codec
