// Blocks for the codec's tests, packed by hand from counts: bit pieces, each frame's leader and
// stored bit count, the pauses, and the data bits as hex in send order.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "datafile/hex_text.h"
#include "datafile/signal_block.h"

namespace kavro::codec::test {

struct FrameDef {
  int leader_mark = 0;
  int leader_space = 0;
  int bits = 0;
};

struct BlockDef {
  int long_time = 0;
  int short_time = 0;
  int alt_time = 0;
  bool width = false;
  std::vector<FrameDef> frames;
  std::string bits_hex;
  int pause = 2000;  // between any two frames
};

inline SignalBlock MakeBlock(const BlockDef& def) {
  std::array<unsigned char, kSignalBlockSize> b{};
  b[0] = static_cast<unsigned char>(def.long_time);
  b[1] = static_cast<unsigned char>(def.short_time);
  b[2] = static_cast<unsigned char>(def.alt_time);
  for (std::size_t f = 0; f < def.frames.size(); ++f) {
    const FrameDef& frame = def.frames[f];
    const std::size_t h = 3 + 6 * f;
    b[h] = static_cast<unsigned char>(frame.leader_mark >> 8);
    b[h + 1] = static_cast<unsigned char>(frame.leader_mark & 0xFF);
    b[h + 2] = static_cast<unsigned char>(frame.bits << 1 | frame.leader_space >> 8);
    b[h + 3] = static_cast<unsigned char>(frame.leader_space & 0xFF);
    if (f + 1 < def.frames.size()) {
      b[h + 4] = static_cast<unsigned char>(0x80 | def.pause >> 8);
      b[h + 5] = static_cast<unsigned char>(def.pause & 0xFF);
    }
  }
  if (def.width) b[3] |= 0x80;
  std::vector<unsigned char> bits;
  const int count = HexTextToBytes(def.bits_hex, bits);
  for (int i = 0; i < count && i < 10; ++i) b[19 + i] = bits[i];
  return SignalBlock(b);
}

inline SignalBlock FromHex(const std::string& text) {
  std::vector<unsigned char> bytes;
  HexTextToBytes(text, bytes);
  return SignalBlock(bytes);
}

inline std::string BitHex(const SignalBlock& block) {
  return BytesToHexText(std::span(block.bytes()).subspan(19));
}

}  // namespace kavro::codec::test
