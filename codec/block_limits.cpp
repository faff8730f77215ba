#include "codec/block_limits.h"

namespace kavro::codec {
namespace {

std::string TooLong(const char* what, int counts, int limit) {
  return std::string(what) + " " + std::to_string(counts) + " counts > " + std::to_string(limit);
}

}  // namespace

std::string FrameBeyondFields(int leader_mark, int leader_space, int pause) {
  if (leader_mark > kMaxLeaderMark) return TooLong("leader mark", leader_mark, kMaxLeaderMark);
  if (leader_space > kMaxLeaderSpace) return TooLong("leader space", leader_space, kMaxLeaderSpace);
  if (pause > kMaxPause) return TooLong("pause", pause, kMaxPause);
  return {};
}

std::string BitPiecesBeyondField(int long_time, int short_time, int alt_time) {
  for (const int piece : {long_time, short_time, alt_time})
    if (piece > kMaxBitPiece) return TooLong("bit piece", piece, kMaxBitPiece);
  return {};
}

}  // namespace kavro::codec
