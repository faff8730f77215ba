#pragma once
// What the responders make of the bytes they receive: one entry per frame or line, for the log,
// with the answers it asks for.

#include <string>
#include <vector>

#include "tools/kavro-sim/hex.h"

namespace kavro::sim {

struct Reply {
  int delayMs = 0;  // counted from the arrival of what it answers
  Bytes bytes;
};

struct Received {
  std::string kind;    // "learn", "irsend", ..., "unknown"
  std::string detail;  // the bytes in hex (serial) or the quoted line (TCP)
  bool counts = true;  // counts towards --close-after; skipped serial bytes do not
  std::vector<Reply> replies;
};

}  // namespace kavro::sim
