// The first step of fitting timings into the block model: a signal in microseconds becomes frames
// of mark/space pairs in counts, split at the pauses between frames.
#pragma once

#include <vector>

#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec::fit {

// A mark and the space after it, in counts (not rounded).
struct Pair {
  double mark = 0;
  double space = 0;
  // The space is not the pair's own: it runs on into a pause (`space` then holds both) or into
  // the end of the signal, or the signal ends with this mark (`space` is then 0).
  bool open = false;
};

// The pairs of one frame: the first is its leader, or the first bit of a leaderless frame.
struct RawFrame {
  std::vector<Pair> pairs;
};

// The intro and then the repeat once, split at pauses: spaces more than 1.25 times the first
// mark and the first space (a leader, or the first bit), and more than 3 times the shortest
// space. A final space that long is the signal's lead-out. Refused when the signal is empty or
// malformed, a piece is under one count, or there are more than 3 frames ("4 frames").
Outcome<std::vector<RawFrame>> SplitFrames(const IrSignal& signal, double unit_ns);

}  // namespace kavro::codec::fit
