#include "serial/marked_input.h"

#include <gtest/gtest.h>

#include <string>

namespace kavro {
namespace {

struct Decoded {
  std::string data;
  MarkedInputDecoder::Counts counts;
};

// Feeds the pieces one after another to one decoder, as successive reads would.
Decoded DecodePieces(std::initializer_list<std::string> pieces) {
  MarkedInputDecoder decoder;
  std::vector<uint8_t> out;
  Decoded d;
  for (const std::string& piece : pieces) {
    decoder.Decode(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), out, d.counts);
  }
  d.data.assign(out.begin(), out.end());
  return d;
}

TEST(MarkedInputDecoder, TellsDataBreaksAndErrorCharacters) {
  const std::string ff("\377\377", 2), brk("\377\0\0", 3), err("\377\0X", 3);

  Decoded d = DecodePieces({"a" + ff + "b"});
  EXPECT_EQ(d.data, "a\377b");
  EXPECT_EQ(d.counts.breaks, 0u);
  EXPECT_EQ(d.counts.errorChars, 0u);

  d = DecodePieces({"a" + brk + "b"});
  EXPECT_EQ(d.data, "ab");
  EXPECT_EQ(d.counts.breaks, 1u);

  // The character that came with the error is kept, in its place.
  d = DecodePieces({"a" + err + "b"});
  EXPECT_EQ(d.data, "aXb");
  EXPECT_EQ(d.counts.errorChars, 1u);
  EXPECT_EQ(d.counts.breaks, 0u);

  d = DecodePieces({ff + ff + brk + err + ff});
  EXPECT_EQ(d.data, "\377\377X\377");
  EXPECT_EQ(d.counts.breaks, 1u);
  EXPECT_EQ(d.counts.errorChars, 1u);
}

TEST(MarkedInputDecoder, KeepsItsPlaceWhenAMarkIsSplitAcrossReads) {
  Decoded d = DecodePieces({"a\377", std::string("\0", 1), "X", "\377", "\377b"});
  EXPECT_EQ(d.data, "aX\377b");
  EXPECT_EQ(d.counts.errorChars, 1u);

  d = DecodePieces({std::string("\377\0", 2), std::string("\0", 1), "c"});
  EXPECT_EQ(d.data, "c");
  EXPECT_EQ(d.counts.breaks, 1u);
}

TEST(MarkedInputDecoder, LosesNoByteOfAnUnknownMarkAndForgetsAPartialMarkOnReset) {
  // The driver never makes "\377" followed by anything but 0 or 0377; keep both bytes.
  Decoded d = DecodePieces({"\377A"});
  EXPECT_EQ(d.data, "\377A");

  MarkedInputDecoder decoder;
  std::vector<uint8_t> out;
  MarkedInputDecoder::Counts counts;
  const uint8_t partial[] = {'x', 0xFF, 0x00};
  decoder.Decode(partial, sizeof partial, out, counts);
  decoder.Reset();  // input purged: the mark's rest will not come
  const uint8_t next[] = {0x00, 'y'};
  decoder.Decode(next, sizeof next, out, counts);
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string("x\0y", 3));
  EXPECT_EQ(counts.breaks, 0u);
}

}  // namespace
}  // namespace kavro
