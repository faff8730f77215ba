// The walk over a block: piece kinds and durations for both codings, the frames and their pauses,
// and data bits running on across frames.
#include "codec/pieces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile/hex_text.h"

namespace kavro::codec {
namespace {

SignalBlock FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  const int count = HexTextToBytes(hex, bytes);
  bytes.resize(count);
  return SignalBlock(bytes);
}

// The walk as text: "f1" where a frame begins, then per piece a letter and its counts. L/l: leader
// mark/space; I/i: mark/space of a 1 bit; O/o: of a 0 bit; P: a pause.
std::string Text(const std::vector<Piece>& pieces) {
  std::string out;
  int frame = 0;
  for (const Piece& p : pieces) {
    if (p.frame != frame) out += (out.empty() ? "f" : " f") + std::to_string(frame = p.frame);
    char letter = 'P';
    switch (p.kind) {
      case PieceKind::kLeaderMark: letter = 'L'; break;
      case PieceKind::kLeaderSpace: letter = 'l'; break;
      case PieceKind::kBitMark: letter = p.bit ? 'I' : 'O'; break;
      case PieceKind::kBitSpace: letter = p.bit ? 'i' : 'o'; break;
      case PieceKind::kPause: break;
    }
    out += ' ' + (letter + std::to_string(p.counts));
  }
  return out;
}

TEST(WalkBlock, PiecesOfHandMadeBlocks) {
  struct Case {
    const char* what;
    const char* hex;
    const char* walk;
  };
  const Case cases[] = {
      {"pulse width, AltTime 12: bits 101 of byte 19",
       // Long 30, Short 10, Alt 12, width flag; leader 0x128 / 0x10A, 3 bits.
       "1E0A0C8128070A000000000000000000000000A0000000000000000000",
       "f1 L296 l266 I30 i10 O12 o10 I30 i10"},
      {"pulse distance, three frames: pauses between them, bits running on",
       // Long 3, Short 1; leader 8/4 and 4 bits; pause 100; 6/3 and 3 bits; pause 50; 5/2 and
       // 2 bits. Bits 1010 | 110 | 01.
       "03010000080804806400060603803200050402AC800000000000000000",
       "f1 L8 l4 I1 i3 O1 o1 I1 i3 O1 o1 P100 f2 L6 l3 I1 i3 I1 i3 O1 o1 P50 f3 L5 l2 O1 o1 I1 "
       "i3"},
      {"frame 3's flag without frame 2's: one frame; AltTime 2 lengthens the 0 spaces",
       "0301020008040400000000000080090000000080000000000000000000", "f1 L8 l4 I1 i3 O1 o2"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(WalkBlock(FromHex(c.hex))), c.walk) << c.what;
}

}  // namespace
}  // namespace kavro::codec
