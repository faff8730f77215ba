#include "datafile/records.h"

#include <gtest/gtest.h>

#include <string>

#include "datafile/leading_decimal.h"

namespace kavro {
namespace {

TEST(MainWindowRecordLine, NumberDataAndComment) {
  const auto r = ReadMainWindowRecordLine("0105 A1B2C3 P1 TV 5");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->number, 105);
  EXPECT_EQ(r->text.data, "A1B2C3");
  EXPECT_EQ(r->text.comment, "P1 TV 5");

  // No comment, hand-written or with the separating space the program writes.
  for (const char* line : {"0007 A1B2C3", "0007 A1B2C3 "}) {
    const auto bare = ReadMainWindowRecordLine(line);
    ASSERT_TRUE(bare) << line;
    EXPECT_EQ(bare->number, 7);
    EXPECT_EQ(bare->text.data, "A1B2C3");
    EXPECT_EQ(bare->text.comment, "");
  }
  // A key without leading zeros, trailing blanks kept in the comment.
  const auto short_key = ReadMainWindowRecordLine("12 8A TV power  ");
  ASSERT_TRUE(short_key);
  EXPECT_EQ(short_key->number, 12);
  EXPECT_EQ(short_key->text.comment, "TV power  ");
  // An empty value still names the record; its data text is empty.
  const auto empty = ReadMainWindowRecordLine("0009 ");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->text.data, "");
}

TEST(MainWindowRecordLine, BlanksAroundTheEqualsSign) {
  // "0012 = 8A1F TV power" comes back from the section reader as "0012   8A1F TV power".
  const auto r = ReadMainWindowRecordLine("0012   8A1F TV power");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->text.data, "8A1F");
  EXPECT_EQ(r->text.comment, "TV power");
  const auto tabbed = ReadMainWindowRecordLine("0012\t \t8A1F\tTV");
  ASSERT_TRUE(tabbed);
  EXPECT_EQ(tabbed->text.data, "8A1F");
  EXPECT_EQ(tabbed->text.comment, "TV");
}

TEST(MainWindowRecordLine, SkipsWhatIsNotOneOfItsRecords) {
  EXPECT_FALSE(ReadMainWindowRecordLine("abc 8A1F"));
  EXPECT_FALSE(ReadMainWindowRecordLine("0012"));       // no space
  EXPECT_FALSE(ReadMainWindowRecordLine("0250 8A1F"));  // the library's
  EXPECT_FALSE(ReadMainWindowRecordLine("0300 8A1F"));
  EXPECT_FALSE(ReadMainWindowRecordLine("-1 8A1F"));
  EXPECT_FALSE(ReadMainWindowRecordLine("99999999999 8A1F"));
  EXPECT_TRUE(ReadMainWindowRecordLine("0000 8A1F"));
  EXPECT_TRUE(ReadMainWindowRecordLine("0249 8A1F"));
}

TEST(MainWindowRecordLine, LongValuesAreCutToTheSlots) {
  const std::string data(70, 'A');
  // Comment: 19 single bytes, then a double-byte character that would end at byte 21.
  const std::string comment = std::string(19, 'c') + "\x83\x65" + "zz";
  const auto r = ReadMainWindowRecordLine("0001 " + data + " " + comment);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->text.data, std::string(60, 'A'));
  EXPECT_EQ(r->text.comment, std::string(19, 'c'));
  // A double-byte character that ends exactly at byte 20 is kept.
  const std::string fits = std::string(18, 'c') + "\x83\x65" + "zz";
  EXPECT_EQ(ReadMainWindowRecordLine("0001 8A " + fits)->text.comment,
            std::string(18, 'c') + "\x83\x65");
  // Ten double-byte characters are exactly 20 bytes; an eleventh is dropped whole.
  std::string wide;
  for (int i = 0; i < 11; ++i) wide += "\x82\xA0";
  EXPECT_EQ(ReadMainWindowRecordLine("0001 8A " + wide)->text.comment, wide.substr(0, 20));
}

TEST(RecordValue, ReadByKey) {
  const auto r = ReadRecordValue("A1B2C3 P1 TV 5");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->data, "A1B2C3");
  EXPECT_EQ(r->comment, "P1 TV 5");

  EXPECT_FALSE(ReadRecordValue(""));
  EXPECT_FALSE(ReadRecordValue("  \t"));
  EXPECT_EQ(ReadRecordValue("A1B2C3")->comment, "");
  EXPECT_EQ(ReadRecordValue("A1B2C3 ")->comment, "");
  // Everything after the first space behind the word, up to a line feed.
  EXPECT_EQ(ReadRecordValue("A1  two blanks")->comment, " two blanks");
  EXPECT_EQ(ReadRecordValue("A1 first\nsecond")->comment, "first");
  // Cut to the slots.
  const auto big = ReadRecordValue(std::string(61, 'F') + " " + std::string(19, 'x') + "\x82\xA0");
  EXPECT_EQ(big->data, std::string(60, 'F'));
  EXPECT_EQ(big->comment, std::string(19, 'x'));
}

TEST(RecordValue, WrittenValueReadsBack) {
  const std::string comment = "\x83\x65\x83\x8C\x83\x72 1";  // Shift-JIS text and a blank
  const std::string value = RecordValue("8A1F", comment);
  EXPECT_EQ(value, "8A1F " + comment);
  const auto back = ReadRecordValue(value);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->data, "8A1F");
  EXPECT_EQ(back->comment, comment);
  EXPECT_EQ(RecordValue("8A1F", ""), "8A1F ");
  // The same record as the section reader hands it to the main window.
  const auto line = ReadMainWindowRecordLine(RecordKey(42) + " " + value);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->number, 42);
  EXPECT_EQ(line->text.comment, comment);
}

TEST(LibraryEntry, EveryNumberedLineWithItsRestUnchanged) {
  EXPECT_EQ(LibraryEntryFromLine("300 8A1F lamp"), "0300 8A1F lamp");
  EXPECT_EQ(LibraryEntryFromLine("0007 A1B2C3"), "0007 A1B2C3");
  EXPECT_EQ(LibraryEntryFromLine("12345 8A"), "12345 8A");
  // The rest after the first space is taken whole: blanks, trailing blanks, length.
  EXPECT_EQ(LibraryEntryFromLine("0012   8A1F TV  "), "0012   8A1F TV  ");
  const std::string long_rest(240, 'D');
  EXPECT_EQ(LibraryEntryFromLine("0250 " + long_rest), "0250 " + long_rest);
  EXPECT_FALSE(LibraryEntryFromLine("abc 8A1F"));
  EXPECT_FALSE(LibraryEntryFromLine("0300"));
}

TEST(RecordWriters, KeysAndLibraryLines) {
  EXPECT_EQ(RecordKey(0), "0000");
  EXPECT_EQ(RecordKey(250), "0250");
  EXPECT_EQ(RecordKey(12345), "12345");
  EXPECT_EQ(LibrarySectionLine(251, "8A1F lamp"), "0251=8A1F lamp");
}

TEST(LeadingDecimal, ReadsLikeStrtol) {
  EXPECT_EQ(LeadingDecimal("0105 x"), 105);
  EXPECT_EQ(LeadingDecimal("  12abc"), 12);
  EXPECT_EQ(LeadingDecimal("+7"), 7);
  EXPECT_EQ(LeadingDecimal("-3"), -3);
  EXPECT_FALSE(LeadingDecimal("abc"));
  EXPECT_FALSE(LeadingDecimal(""));
  EXPECT_FALSE(LeadingDecimal("- 3"));
  EXPECT_EQ(LeadingDecimal("99999999999999999999"), 2147483647);
  EXPECT_EQ(LeadingDecimal("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace kavro
