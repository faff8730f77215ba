#include "datafile/signal_block.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kavro {
namespace {

using Block = std::array<unsigned char, kSignalBlockSize>;

Block Numbered() {
  Block b;
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(0x40 + i);
  return b;
}

TEST(SignalBlock, FieldsOfAllThreeFrames) {
  Block b{};
  b[0] = 200;  // long
  b[1] = 60;   // short
  b[2] = 0;    // alt: same as short
  // Frame 1: width coding, leader mark 0x234, 32 bits, leader space 0x110.
  b[3] = 0x80 | 0x7C | 0x02;  // bits 2-6 are not ours and must not leak into the mark
  b[4] = 0x34;
  b[5] = (32 << 1) | 1;
  b[6] = 0x10;
  b[7] = 0x80 | 0x12;  // frame 2 present, gap 0x1234
  b[8] = 0x34;
  // Frame 2: leader mark 0x3FF, 127 bits, leader space 0x0FF.
  b[9] = 0xFF;
  b[10] = 0xFF;
  b[11] = 127 << 1;
  b[12] = 0xFF;
  b[13] = 0x80 | 0x7F;  // frame 3 present, gap 0x7FFF
  b[14] = 0xFF;
  // Frame 3: leader mark 1, 1 bit, leader space 0x1FF.
  b[15] = 0x00;
  b[16] = 0x01;
  b[17] = (1 << 1) | 1;
  b[18] = 0xFF;
  const SignalBlock s(b);

  EXPECT_EQ(s.LongTime(), 200);
  EXPECT_EQ(s.ShortTime(), 60);
  EXPECT_EQ(s.AltTime(), 0);
  EXPECT_TRUE(s.WidthCoding());
  EXPECT_EQ(s.LeaderMark(1), 0x234);
  EXPECT_EQ(s.LeaderSpace(1), 0x110);
  EXPECT_EQ(s.BitCount(1), 32);
  EXPECT_EQ(s.Gap1(), 0x1234);
  EXPECT_TRUE(s.HasFrame2());
  EXPECT_EQ(s.LeaderMark(2), 0x3FF);
  EXPECT_EQ(s.LeaderSpace(2), 0x0FF);
  EXPECT_EQ(s.BitCount(2), 127);
  EXPECT_EQ(s.Gap2(), 0x7FFF);
  EXPECT_TRUE(s.HasFrame3());
  EXPECT_EQ(s.LeaderMark(3), 1);
  EXPECT_EQ(s.LeaderSpace(3), 0x1FF);
  EXPECT_EQ(s.BitCount(3), 1);
  EXPECT_EQ(s.LeaderMark(0), 0);
  EXPECT_EQ(s.BitCount(4), 0);
}

TEST(SignalBlock, FramePresenceBits) {
  Block b{};
  b[13] = 0x80;  // frame 3 flag without frame 2 counts for nothing
  EXPECT_FALSE(SignalBlock(b).HasFrame2());
  EXPECT_FALSE(SignalBlock(b).HasFrame3());
  b[7] = 0x7F;  // a gap, but no frame 2
  EXPECT_FALSE(SignalBlock(b).HasFrame2());
  b[7] = 0x80;
  EXPECT_TRUE(SignalBlock(b).HasFrame3());
}

TEST(SignalBlock, DataBitsRunAcrossBytesMostSignificantFirst) {
  Block b{};
  b[19] = 0xA0;  // bits 0 and 2
  b[20] = 0x01;  // bit 15
  b[28] = 0x01;  // bit 79
  const SignalBlock s(b);
  std::vector<int> set;
  for (int i = -1; i <= kSignalBitCount; ++i) {
    if (s.Bit(i)) set.push_back(i);
  }
  EXPECT_EQ(set, (std::vector<int>{0, 2, 15, 79}));
}

TEST(SignalBlock, FromShortOrLongConversions) {
  const std::vector<unsigned char> three{1, 2, 3};
  const SignalBlock s(three);
  EXPECT_EQ(s.bytes()[2], 3);
  EXPECT_EQ(s.bytes()[3], 0);
  EXPECT_EQ(s.bytes()[28], 0);
  std::vector<unsigned char> forty(40, 0x55);
  forty[28] = 0x11;
  EXPECT_EQ(SignalBlock(forty).bytes()[28], 0x11);
}

TEST(SignalBlock, LearnClearsTheBytesOfAbsentFrames) {
  // Byte 7 zero: bytes 8..18 cleared, the rest untouched.
  Block b = Numbered();
  b[7] = 0;
  SignalBlock one(b);
  one.ClearAbsentFrames();
  for (std::size_t i = 0; i < kSignalBlockSize; ++i) {
    EXPECT_EQ(one.bytes()[i], i >= 8 && i <= 18 ? 0 : b[i]) << "byte " << i;
  }
  // Byte 7 non-zero, even without its presence bit, and byte 13 zero: bytes 14..18 cleared.
  b = Numbered();
  b[7] = 0x05;
  b[13] = 0;
  SignalBlock two(b);
  two.ClearAbsentFrames();
  for (std::size_t i = 0; i < kSignalBlockSize; ++i) {
    EXPECT_EQ(two.bytes()[i], i >= 14 && i <= 18 ? 0 : b[i]) << "byte " << i;
  }
  // Both non-zero (presence bits clear): nothing changes, although no frame 2 is flagged.
  b = Numbered();
  b[7] = 0x05;
  b[13] = 0x05;
  SignalBlock three(b);
  three.ClearAbsentFrames();
  EXPECT_EQ(three.bytes(), b);
}

}  // namespace
}  // namespace kavro
