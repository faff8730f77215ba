#include "datafile/sjis.h"

#include <gtest/gtest.h>

namespace kavro {
namespace {

TEST(CutSjis, SingleByteTextIsCutAtTheLimit) {
  EXPECT_EQ(CutSjis("ABCDEF", 4), "ABCD");
  EXPECT_EQ(CutSjis("ABC", 3), "ABC");
  EXPECT_EQ(CutSjis("ABC", 10), "ABC");
  EXPECT_EQ(CutSjis("ABC", 0), "");
  // Half-width katakana (0xA1-0xDF) are single bytes.
  EXPECT_EQ(CutSjis("\xB1\xB2\xB3", 2), "\xB1\xB2");
}

TEST(CutSjis, NeverSplitsADoubleByteCharacter) {
  // "AB" then two-byte characters: a limit that lands on a lead byte drops that character.
  const std::string_view text = "AB\x82\xA0\x82\xA2";
  EXPECT_EQ(CutSjis(text, 3), "AB");
  EXPECT_EQ(CutSjis(text, 4), "AB\x82\xA0");
  EXPECT_EQ(CutSjis(text, 5), "AB\x82\xA0");
  // Lead bytes from the upper range (0xE0-0xFC) too.
  EXPECT_EQ(CutSjis("\xE0\x40\xFC\x40", 3), "\xE0\x40");
  // A trail byte that has a lead byte's value is still a trail byte: walking from the start.
  EXPECT_EQ(CutSjis("\x81\x81\x81\x81", 3), "\x81\x81");
  EXPECT_EQ(CutSjis("A\x81\x81\x81\x81", 4), "A\x81\x81");
  // A kana byte followed by a double-byte character.
  EXPECT_EQ(CutSjis("\xB1\x82\xA0", 2), "\xB1");
}

TEST(CutSjis, LoneLeadByteAtTheEndIsOneCharacter) {
  EXPECT_EQ(CutSjis("AB\x82", 3), "AB\x82");
  EXPECT_EQ(CutSjis("ABC\x82", 3), "ABC");
  // Not at the end: it pairs with the next byte.
  EXPECT_EQ(CutSjis("A\x82"
                    "BC",
                    2),
            "A");
}

}  // namespace
}  // namespace kavro
