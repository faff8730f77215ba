#include "datafile/layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "datafile/records.h"
#include "datafile/store.h"

namespace kavro {
namespace {

namespace fs = std::filesystem;

TEST(Layout, ExtensionKeyCaptions) {
  EXPECT_EQ(ExtLabelKeyFor(1, 1).key, "msg11");
  EXPECT_EQ(ExtLabelKeyFor(1, 1).deflt, "EXT1");
  EXPECT_EQ(ExtLabelKeyFor(3, 6).key, "msg36");
  EXPECT_EQ(ExtLabelKeyFor(3, 6).deflt, "EXT6");
  EXPECT_EQ(ExtLabelKeyFor(2, 4).deflt, "EXT4");  // by label, not by page
  std::set<std::string> keys;
  for (int p = 1; p <= kPadPageCount; ++p) {
    for (int k = 1; k <= kExtLabelsPerPage; ++k) keys.insert(ExtLabelKeyFor(p, k).key);
  }
  EXPECT_EQ(keys.size(), 18u);
  for (const auto& [p, k] : {std::pair{0, 1}, {4, 1}, {1, 0}, {1, 7}}) {
    EXPECT_EQ(ExtLabelKeyFor(p, k).key, "") << p << k;
  }
}

class LayoutFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kavro-layout-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "kavro.dat").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const Setting& s) {
    std::string value;
    ReadKeyValue(path_, s.section, s.key, value, s.deflt);
    return value;
  }
  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  fs::path dir_;
  std::string path_;
};

TEST_F(LayoutFile, FileWithOnlyRecordsReadsEveryDefault) {
  WriteFile("[Data]\r\n0105=A1B2C3 P1 TV 5\r\n");
  EXPECT_EQ(Read(kComSetting), "1");
  EXPECT_EQ(Read(kPadPageSetting), "1");
  EXPECT_EQ(Read(kListPageSetting), "0");
  EXPECT_EQ(Read(kTvVtrSetting), "0");
  EXPECT_EQ(Read(kStayOnTopSetting), "");
  EXPECT_EQ(Read(kLanHostSetting), "127.0.0.1");
  EXPECT_EQ(Read(kLanPortSetting), "1024");
  std::string label;
  ReadKeyValue(path_, kExtSection, ExtLabelKeyFor(2, 3).key, label, ExtLabelKeyFor(2, 3).deflt);
  EXPECT_EQ(label, "EXT3");
  std::string device;
  ReadKeyValue(path_, kSerialSection, kSerialDeviceKeys[0], device, "");
  EXPECT_EQ(device, "");
}

TEST_F(LayoutFile, HandWrittenPage2AndWrittenPAGE2AreOneKey) {
  WriteFile("[COMMON]\r\nPage2=4\r\nPAGE=2\r\n");
  std::string start;
  ReadKeyValue(path_, kCommonSection, kListPageReadKey, start, kListPageSetting.deflt);
  EXPECT_EQ(start, "4");
  EXPECT_EQ(Read(kListPageSetting), "4");
  ASSERT_EQ(WriteKeyValue(path_, kListPageSetting.section, kListPageSetting.key, "7"), 0);
  ReadKeyValue(path_, kCommonSection, kListPageReadKey, start, kListPageSetting.deflt);
  EXPECT_EQ(start, "7");
  EXPECT_EQ(Read(kPadPageSetting), "2");  // "PAGE" is not taken for "PAGE2", nor the reverse
  std::ifstream in(path_, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("Page2"), std::string::npos);  // rewritten in place, not added twice
}

TEST_F(LayoutFile, RecordsOfBothWindows) {
  ASSERT_EQ(WriteKeyValue(path_, kDataSection, RecordKey(7), "A1B2C3"), 0);
  ASSERT_EQ(WriteKeyValue(path_, kDataSection, RecordKey(105), RecordValue("8A1F", "P1 TV 5")), 0);
  ASSERT_EQ(WriteKeyValue(path_, kDataSection, "300", RecordValue("FF00", "lamp")), 0);
  ASSERT_EQ(WriteKeyValue(path_, kDataSection, "abc", RecordValue("FF01", "junk")), 0);

  std::vector<int> main_numbers;
  std::vector<std::string> entries;
  std::string buffer = "start";
  while (ReadSectionLine(path_, kDataSection, buffer) == 0) {
    if (auto r = ReadMainWindowRecordLine(buffer)) main_numbers.push_back(r->number);
    if (auto e = LibraryEntryFromLine(buffer)) entries.push_back(*e);
    buffer.clear();
  }
  buffer = "end";
  ReadSectionLine(path_, kDataSection, buffer);

  EXPECT_EQ(main_numbers, (std::vector<int>{7, 105}));
  EXPECT_EQ(entries,
            (std::vector<std::string>{"0007 A1B2C3", "0105 8A1F P1 TV 5", "0300 FF00 lamp"}));

  // The pad key's read by key: the record without a comment.
  std::string value;
  ReadKeyValue(path_, kDataSection, RecordKey(7), value, "");
  const auto seven = ReadRecordValue(value);
  ASSERT_TRUE(seven);
  EXPECT_EQ(seven->data, "A1B2C3");
  EXPECT_EQ(seven->comment, "");
}

}  // namespace
}  // namespace kavro
