// What the block's duration fields can hold, checked with the same words wherever durations are
// made into a block (the encoder and the fit of timings).
#pragma once

#include <string>

namespace kavro::codec {

inline constexpr int kMaxLeaderMark = 1023;  // 10 bits
inline constexpr int kMaxLeaderSpace = 511;  // 9 bits
inline constexpr int kMaxBitPiece = 255;     // a byte
inline constexpr int kMaxPause = 32767;      // 15 bits

// "" when a frame's leader and the pause after it fit their fields, otherwise the first that does
// not: "leader mark 1400 counts > 1023".
std::string FrameBeyondFields(int leader_mark, int leader_space, int pause);
// The same for the three bit pieces (LongTime, ShortTime, AltTime).
std::string BitPiecesBeyondField(int long_time, int short_time, int alt_time);

}  // namespace kavro::codec
