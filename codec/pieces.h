// The one walk over a signal block: its pieces in the order a transmitter emits them. The signal
// view draws from it, timings and exports are made from it.
//
// A frame is its leader mark and leader space, then for each bit a mark and a space; there is no
// closing mark. Between frames comes the pause, which in time directly follows the space of the
// frame's last bit. Data bits run on across frames from the first bit of byte 19; bits beyond the
// 80 of the block read as 0.
#pragma once

#include <cstdint>
#include <vector>

#include "datafile/signal_block.h"

namespace kavro::codec {

enum class PieceKind : std::uint8_t { kLeaderMark, kLeaderSpace, kBitMark, kBitSpace, kPause };

struct Piece {
  PieceKind kind;
  int32_t counts;    // duration in the controller's time unit
  int frame;         // 1..3; a pause carries the number of the frame it follows
  bool bit = false;  // the data bit a kBitMark or kBitSpace belongs to

  bool IsMark() const { return kind == PieceKind::kLeaderMark || kind == PieceKind::kBitMark; }
};

// Every piece of every frame the block has (frame 2 when its flag is set, frame 3 when both are).
std::vector<Piece> WalkBlock(const SignalBlock& block);

}  // namespace kavro::codec
