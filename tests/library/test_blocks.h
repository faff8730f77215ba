// Signal blocks the library's drawing tests share.
#pragma once

#include <array>

namespace kavro::test {

using Block = std::array<unsigned char, 29>;

// Three frames: leader 8/4 and bits 1010; pause 100; leader 6/3 and bits 110; pause 50;
// leader 5/2 and bits 01. LongTime 3, ShortTime 1, pulse distance. Frame times 24, 19, 13;
// 206 counts in all.
inline Block ThreeFrameCode() {
  Block b{};
  b[0] = 3;
  b[1] = 1;
  b[4] = 8;
  b[5] = 4 << 1;
  b[6] = 4;
  b[7] = 0x80;
  b[8] = 100;
  b[10] = 6;
  b[11] = 3 << 1;
  b[12] = 3;
  b[13] = 0x80;
  b[14] = 50;
  b[16] = 5;
  b[17] = 2 << 1;
  b[18] = 2;
  b[19] = 0xAC;  // 1010 | 110 | 0 ...
  b[20] = 0x80;  // ... 1
  return b;
}

// One frame of 127 bits, beyond the 80 the block holds (those past it read as 0): LongTime 3,
// ShortTime 1, leader 4 / 2, pulse distance, every stored bit 1.
inline Block LongFrameCode() {
  Block b{};
  b[0] = 3;
  b[1] = 1;
  b[4] = 4;
  b[5] = 127 << 1;
  b[6] = 2;
  for (int i = 19; i < 29; ++i) b[i] = 0xFF;
  return b;
}

}  // namespace kavro::test
