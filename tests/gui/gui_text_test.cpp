#include "gui/gui_text.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

namespace kavro {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(GuiText, RoundTripsCodePage932) {
  QString prompt = QStringLiteral("削除してもよろしいですか？");
  std::string bytes = ToSjis(prompt);
  EXPECT_EQ(Hex(bytes), "8ded8f9c82b582c482e082e682eb82b582a282c582b782a98148");
  EXPECT_EQ(FromSjis(bytes), prompt);
  // Code page 932 maps 0x8160 to the full-width tilde; another Shift-JIS table would not.
  EXPECT_EQ(FromSjis("\x81\x60"), QString(QChar(0xFF5E)));
  EXPECT_EQ(ToSjis(QString(QChar(0xFF5E))), "\x81\x60");
}

TEST(GuiText, UnmappableCharacterBecomesOneQuestionMark) {
  EXPECT_EQ(ToSjis(QStringLiteral("a\u00e9b")), "a?b");
  EXPECT_EQ(ToSjis(QString::fromUcs4(U"x\U0001F600y")), "x?y");
}

TEST(GuiText, CutsAndLimitsInBytesOnCharacterBoundaries) {
  QString mixed = QStringLiteral("ab照明テスト");  // 2 + 2*5 = 12 bytes
  EXPECT_EQ(SjisLength(mixed), 12u);
  EXPECT_EQ(ToSjisCut(mixed, 5), ToSjis(QStringLiteral("ab照")));

  SjisByteLimitValidator limit(20, nullptr);
  int pos = 0;
  QString ten_kanji = QString(10, QChar(0x7167));  // 20 bytes
  EXPECT_EQ(limit.validate(ten_kanji, pos), QValidator::Acceptable);
  QString too_long = ten_kanji + QStringLiteral("a");
  EXPECT_EQ(limit.validate(too_long, pos), QValidator::Invalid);
  limit.fixup(too_long);
  EXPECT_EQ(too_long, ten_kanji);
}

TEST(GuiText, DesignFontIsJapaneseCapable) {
  int argc = 1;
  char name[] = "gui_text_test";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QFont font = DesignFont();
  EXPECT_EQ(font.pixelSize(), 12);
  ASSERT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
      << "no Japanese font installed";
  QString family = QFontInfo(font).family();
  EXPECT_TRUE(QFontDatabase::families(QFontDatabase::Japanese).contains(family))
      << family.toStdString();
}

}  // namespace
}  // namespace kavro
