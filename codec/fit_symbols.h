// The second step of fitting timings into the block model: the bit pieces of all frames sorted
// into the two symbols the block can hold, and the coding told from which piece varies.
#pragma once

#include <optional>
#include <vector>

#include "codec/fit_frames.h"
#include "codec/outcome.h"

namespace kavro::codec::fit {

// The block's bit timing in counts, as it stores it.
struct BitSymbols {
  bool width_coding = false;
  int long_time = 0;
  int short_time = 0;
  int alt_time = 0;  // 0: as short_time

  int Mark(bool one) const;
  int Space(bool one) const;
  // The bit a pair stands for, by the piece that varies. An open pair of pulse distance coding
  // is the frame's stop mark, stored as a 0 bit.
  bool BitOf(const Pair& pair) const;
  // Which symbol the pair is, when both its pieces are those of one (a leaderless frame's first
  // bit); nothing otherwise.
  std::optional<bool> SymbolOf(const Pair& pair) const;
};

// The symbols from every pair but each frame's first. Refused with "bi-phase coding" when marks
// and spaces both come in more than one length, "N symbol widths" when either comes in more
// than two, and "bit timing differs between frames" when each frame fits alone but not all
// together.
Outcome<BitSymbols> FitSymbols(const std::vector<RawFrame>& frames);

}  // namespace kavro::codec::fit
