#include "datafile/hex_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavro {
namespace {

struct Converted {
  int count;
  std::vector<unsigned char> bytes;
};

Converted Convert(std::string_view text) {
  Converted c;
  c.bytes = {0xEE, 0xEE, 0xEE};  // stale content that must not leak into the result
  c.count = HexTextToBytes(text, c.bytes);
  return c;
}

std::vector<unsigned char> Counted(const Converted& c) {
  return {c.bytes.begin(), c.bytes.begin() + c.count};
}

using Bytes = std::vector<unsigned char>;

TEST(HexTextToBytes, DigitsSeparatorsAndRemarks) {
  EXPECT_EQ(Counted(Convert("8A1F")), (Bytes{0x8A, 0x1F}));
  EXPECT_EQ(Counted(Convert("8a,1f")), (Bytes{0x8A, 0x1F}));
  EXPECT_EQ(Counted(Convert(" 8 A\t1,F ")), (Bytes{0x8A, 0x1F}));  // separators even inside a byte
  EXPECT_EQ(Counted(Convert("8A ; 1F")), (Bytes{0x8A}));
  EXPECT_EQ(Counted(Convert(";8A")), Bytes{});
  EXPECT_EQ(Convert("").count, 0);
  EXPECT_EQ(Convert(" ,\t, ").count, 0);
}

TEST(HexTextToBytes, QuotedTextIsTakenAsIs) {
  EXPECT_EQ(Counted(Convert("\"AB\"0d0a")), (Bytes{0x41, 0x42, 0x0D, 0x0A}));
  // Separators and the remark sign belong to the text inside quotes.
  EXPECT_EQ(Counted(Convert("\"a, ;\"")), (Bytes{'a', ',', ' ', ';'}));
  // Shift-JIS bytes inside quotes pass unchanged.
  EXPECT_EQ(Counted(Convert("\"\x82\xA0\"")), (Bytes{0x82, 0xA0}));
  // An unclosed quote runs to the end of the text.
  EXPECT_EQ(Counted(Convert("01\"x;")), (Bytes{0x01, 'x', ';'}));
  // An empty pair of quotes gives nothing.
  EXPECT_EQ(Counted(Convert("01\"\"02")), (Bytes{0x01, 0x02}));
}

TEST(HexTextToBytes, PendingHalfByte) {
  // Stored but not counted at the end.
  const Converted odd = Convert("8A1");
  EXPECT_EQ(odd.count, 1);
  EXPECT_EQ(odd.bytes[0], 0x8A);
  EXPECT_EQ(odd.bytes[1], 0x10);
  // Completed with a zero low nibble and counted when a quote starts or ends.
  EXPECT_EQ(Counted(Convert("8\"A\"")), (Bytes{0x80, 0x41}));
  EXPECT_EQ(Counted(Convert("\"A\"5\"B\"")), (Bytes{0x41, 0x50, 0x42}));
  // A lone digit before the remark is pending, not counted.
  const Converted lone = Convert("7;");
  EXPECT_EQ(lone.count, 0);
  EXPECT_EQ(lone.bytes[0], 0x70);
}

TEST(HexTextToBytes, NothingIsRejected) {
  // 'G' is 16: 16 * 16 wraps to 0.
  EXPECT_EQ(Counted(Convert("G0")), (Bytes{0x00}));
  // 'z' is 35: 35 * 16 = 560 -> 0x30, + 35 -> 0x53.
  EXPECT_EQ(Counted(Convert("zz")), (Bytes{0x53}));
  // '#' is below '0': 35 - 48 = -13; -13 * 16 = -208 -> 0x30, then + 1 -> 0x31.
  EXPECT_EQ(Counted(Convert("#1")), (Bytes{0x31}));
  // A byte of 0x8A is the signed code -118: v = -166; -166 * 16 = -2656 -> 0xA0; + 0 -> 0xA0.
  EXPECT_EQ(Counted(Convert("\x8A"
                            "0")),
            (Bytes{0xA0}));
  // Second digit negative: 0x10 + (-166) = -150 -> 0x6A.
  EXPECT_EQ(Counted(Convert("1\x8A")), (Bytes{0x6A}));
}

TEST(HexTextToBytes, BufferHoldsOneBytePerCharacter) {
  std::vector<unsigned char> bytes(500, 0xEE);
  const std::string learned(58, 'F');
  EXPECT_EQ(HexTextToBytes(learned, bytes), 29);
  EXPECT_EQ(bytes.size(), learned.size());
  // The worst case, a fully quoted text, fills the buffer up to the closing quote.
  const std::string quoted = "\"" + std::string(100, 'x') + "\"";
  EXPECT_EQ(HexTextToBytes(quoted, bytes), 100);
  EXPECT_EQ(bytes.size(), quoted.size());
  // A single digit: the pending byte is at index 0 of a one-byte buffer.
  EXPECT_EQ(HexTextToBytes("F", bytes), 0);
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_EQ(bytes[0], 0xF0);
}

TEST(BytesToHexText, UpperCaseTwoDigitsEachAndBack) {
  const Bytes block{0x00, 0x0F, 0xA5, 0xFF};
  const std::string text = BytesToHexText(block);
  EXPECT_EQ(text, "000FA5FF");
  std::vector<unsigned char> back;
  ASSERT_EQ(HexTextToBytes(text, back), 4);
  back.resize(4);
  EXPECT_EQ(back, block);
}

}  // namespace
}  // namespace kavro
