#include "codec/pieces.h"

namespace kavro::codec {
namespace {

// The durations of the two bit symbols, as the coding flag assigns LongTime, ShortTime and
// AltTime to them (an AltTime of 0 stands for ShortTime).
struct Symbols {
  int one_mark, one_space, zero_mark, zero_space;
};

Symbols SymbolsOf(const SignalBlock& block) {
  const int long_time = block.LongTime();
  const int short_time = block.ShortTime();
  const int alt_time = block.AltTime() != 0 ? block.AltTime() : short_time;
  if (block.WidthCoding()) return {long_time, short_time, alt_time, short_time};
  return {short_time, long_time, short_time, alt_time};
}

int FrameCount(const SignalBlock& block) {
  if (block.HasFrame3()) return 3;
  return block.HasFrame2() ? 2 : 1;
}

}  // namespace

std::vector<Piece> WalkBlock(const SignalBlock& block) {
  const Symbols symbols = SymbolsOf(block);
  const int frames = FrameCount(block);
  std::vector<Piece> pieces;
  int bit_index = 0;
  for (int frame = 1; frame <= frames; ++frame) {
    pieces.push_back({PieceKind::kLeaderMark, block.LeaderMark(frame), frame});
    pieces.push_back({PieceKind::kLeaderSpace, block.LeaderSpace(frame), frame});
    const int bit_count = block.BitCount(frame);
    for (int i = 0; i < bit_count; ++i, ++bit_index) {
      const bool one = block.Bit(bit_index);
      pieces.push_back(
          {PieceKind::kBitMark, one ? symbols.one_mark : symbols.zero_mark, frame, one});
      pieces.push_back(
          {PieceKind::kBitSpace, one ? symbols.one_space : symbols.zero_space, frame, one});
    }
    // A pause is a piece whenever a frame follows, even one of 0 counts, so that every frame
    // boundary shows in the walk.
    if (frame < frames)
      pieces.push_back({PieceKind::kPause, frame == 1 ? block.Gap1() : block.Gap2(), frame});
  }
  return pieces;
}

}  // namespace kavro::codec
