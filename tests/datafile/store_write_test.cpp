// Changing keys and whole sections: what ends up in the file, byte for byte.
#include <gtest/gtest.h>

#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

class StoreWrite : public ::testing::Test {
 protected:
  // The file after writing one key into `before`.
  std::string AfterWrite(std::string_view before, std::string_view section, std::string_view key,
                         std::string_view value) {
    test::WriteBytes(file_, before);
    EXPECT_EQ(WriteKeyValue(file_, section, key, value), 0);
    return test::ReadBytes(file_);
  }

  // The file after replacing the body of `section` in `before` by `lines`.
  std::string AfterSectionRewrite(std::string_view before, std::string_view section,
                                  const std::vector<std::string>& lines) {
    test::WriteBytes(file_, before);
    EXPECT_EQ(WriteSectionLine(file_, section, "start"), 0);
    for (const auto& line : lines) EXPECT_EQ(WriteSectionLine(file_, section, line), 0);
    EXPECT_EQ(WriteSectionLine(file_, section, "end"), 0);
    return test::ReadBytes(file_);
  }

  test::ScratchDir dir_;
  std::string file_ = dir_.Path("Kavro.dat");
};

TEST_F(StoreWrite, AKeyTakesTheCallersSpellingAndKeepsTheFilesBlanks) {
  EXPECT_EQ(AfterWrite("[COMMON]\r\nCOM = 1\r\n", "common", "COM", "2"), "[COMMON]\r\nCOM = 2\r\n");
  EXPECT_EQ(AfterWrite("[COMMON]\r\ncom=1\r\n", "COMMON", "COM", "2"), "[COMMON]\r\nCOM=2\r\n");
  // Only the first key line of the first section of that name changes.
  EXPECT_EQ(AfterWrite("[A]\r\nK=1\r\nK=2\r\n[a]\r\nK=3\r\n", "A", "k", "9"),
            "[A]\r\nk=9\r\nK=2\r\n[a]\r\nK=3\r\n");
}

TEST_F(StoreWrite, ALongerKeyIsNeitherTakenForTheKeyNorChanged) {
  EXPECT_EQ(AfterWrite("[COMMON]\r\nPage2=4\r\n", "COMMON", "PAGE", "1"),
            "[COMMON]\r\nPage2=4\r\nPAGE=1\r\n");
}

TEST_F(StoreWrite, ANewKeyGoesAtTheEndOfItsSectionDirectlyAboveTheNextHeader) {
  EXPECT_EQ(AfterWrite("[A]\r\nK=1\r\n\r\n[B]\r\nX=1\r\n", "A", "N", "2"),
            "[A]\r\nK=1\r\n\r\nN=2\r\n[B]\r\nX=1\r\n");
  EXPECT_EQ(AfterWrite("[A]\r\nK=1\r\n", "A", "N", "2"), "[A]\r\nK=1\r\nN=2\r\n");
}

// Many new keys in one rewrite land where one new key would, in the order given.
TEST_F(StoreWrite, AddedKeysGoWhereANewKeyWouldInOneRewrite) {
  const std::vector<KeyValue> added{{"0251", "8A tv"}, {"0250", "8B vtr"}};
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"[Data]\r\n0010=1F x\r\n\r\n[EXT]\r\nmsg11=a\r\n",
       "[Data]\r\n0010=1F x\r\n\r\n0251=8A tv\r\n0250=8B vtr\r\n[EXT]\r\nmsg11=a\r\n"},
      {"[EXT]\r\nmsg11=a", "[EXT]\r\nmsg11=a\r\n\r\n[data]\r\n0251=8A tv\r\n0250=8B vtr\r\n"},
  };
  for (const auto& c : cases) {
    test::WriteBytes(file_, c.before);
    EXPECT_EQ(AddKeyValues(file_, "data", added), 0);
    EXPECT_EQ(test::ReadBytes(file_), c.after);
  }
}

TEST_F(StoreWrite, AMissingSectionOrFileIsAddedAfterAnEmptyLine) {
  EXPECT_EQ(AfterWrite("[A]\r\nK=1\r\n", "B", "N", "2"), "[A]\r\nK=1\r\n\r\n[B]\r\nN=2\r\n");
  EXPECT_EQ(AfterWrite("", "B", "N", "2"), "\r\n[B]\r\nN=2\r\n");
  ASSERT_EQ(unlink(file_.c_str()), 0);
  EXPECT_EQ(WriteKeyValue(file_, "Data", "0001", "8A1F TV"), 0);
  EXPECT_EQ(test::ReadBytes(file_), "\r\n[Data]\r\n0001=8A1F TV\r\n");
  EXPECT_EQ(test::ModeOf(file_), 0666 & ~test::CurrentUmask());
}

TEST_F(StoreWrite, ALastLineWithoutBreakGetsOneOnlyWhenSomethingFollowsIt) {
  EXPECT_EQ(AfterWrite("[A]\r\nK=1", "A", "N", "2"), "[A]\r\nK=1\r\nN=2\r\n");
  EXPECT_EQ(AfterWrite("[A]\r\nK=1", "B", "N", "2"), "[A]\r\nK=1\r\n\r\n[B]\r\nN=2\r\n");
  EXPECT_EQ(AfterWrite("[A]\r\nK=1", "A", "K", "2"), "[A]\r\nK=2\r\n");
  EXPECT_EQ(AfterWrite("[A]\r\nK=1\r\n[B]\r\nX=1", "A", "K", "2"), "[A]\r\nK=2\r\n[B]\r\nX=1");
  EXPECT_EQ(AfterSectionRewrite("[A]", "A", {"K=1"}), "[A]\r\nK=1\r\n");
  EXPECT_EQ(AfterSectionRewrite("[A]\r\nK=1", "B", {"L=2"}), "[A]\r\nK=1\r\n[B]\r\nL=2\r\n");
}

TEST_F(StoreWrite, EveryLineBreakIsWrittenAsCrLf) {
  EXPECT_EQ(AfterWrite("top\n[A]\nK=1\nX=\x1a tail\r\n\n[B]\nY=2\r\nlast", "A", "K", "2"),
            "top\r\n[A]\r\nK=2\r\nX=\x1a tail\r\n\r\n[B]\r\nY=2\r\nlast");
  // A lone CR is no line break; a value's own LF becomes CR LF like any other.
  EXPECT_EQ(AfterWrite("[A]\nK=1\rstill K\n", "A", "N", "a\nb"),
            "[A]\r\nK=1\rstill K\r\nN=a\r\nb\r\n");
}

TEST_F(StoreWrite, EveryOtherLineSurvivesEveryRewriteByteForByte) {
  const std::string head =
      "; remark before any section %s %d %n\r\n"
      "[COMMON]\r\n"
      "COM=1\r\n"
      "  indented = kept   \r\n"
      "\x82\xb1\x82\xf1=\x93\xfa\x96\x7b\x8c\xea \x5c\x7c\r\n"  // Shift-JIS with 0x5C and 0x7C
      "ctrlz=a\x1a"
      "after ctrl-z\r\n"
      "\r\n";
  const std::string tail =
      "[Lan]\r\n"
      "Host=127.0.0.1 ; not a remark\r\n"
      "[COMMON]\r\n"
      "COM=5\r\n"
      "[Data]\r\n"
      "0001=8A1F%%=;\r\n"
      "[common]\r\n"
      "last=no break";
  EXPECT_EQ(
      AfterWrite(head + tail, "COMMON", "COM", "3"),
      head.substr(0, head.find("COM=1")) + "COM=3" + head.substr(head.find("COM=1") + 5) + tail);
  EXPECT_EQ(AfterWrite(head + tail, "COMMON", "New", "v"), head + "New=v\r\n" + tail);
  EXPECT_EQ(AfterSectionRewrite(head + tail, "data", {"0250=x"}),
            head + tail.substr(0, tail.find("0001")) + "0250=x\r\n" + "[common]\r\nlast=no break");
}

TEST_F(StoreWrite, ValuesReadBackExactlyAsWritten) {
  const std::vector<std::string> values = {"a;b=c",
                                           "trailing  ",
                                           "\x83\x5c\x83\x7c%s",
                                           std::string(1000, 'x'),
                                           std::string("nul\0inside", 10),
                                           ""};
  for (const std::string& value : values) {
    ASSERT_EQ(WriteKeyValue(file_, "S", "K", value), 0);
    std::string back;
    ReadKeyValue(file_, "S", "K", back, "dflt");
    EXPECT_EQ(back, value);
  }
}

TEST_F(StoreWrite, ASectionRewriteReplacesTheWholeBodyAndNothingElse) {
  const std::string before =
      "top\r\n[Data]\r\n0001=a\r\nremark\r\n\r\n[Next]\r\nX=1\r\n[DATA]\r\n0009=dup\r\n";
  EXPECT_EQ(AfterSectionRewrite(before, "data", {"0250=x y", "0251=z"}),
            "top\r\n[Data]\r\n0250=x y\r\n0251=z\r\n[Next]\r\nX=1\r\n[DATA]\r\n0009=dup\r\n");
  EXPECT_EQ(AfterSectionRewrite(before, "Data", {}),
            "top\r\n[Data]\r\n[Next]\r\nX=1\r\n[DATA]\r\n0009=dup\r\n");
  // A missing section is appended with no empty line before it.
  EXPECT_EQ(AfterSectionRewrite("[A]\r\nK=1\r\n", "Data", {"0250=x"}),
            "[A]\r\nK=1\r\n[Data]\r\n0250=x\r\n");
}

TEST_F(StoreWrite, ASectionRewriteTouchesTheFileOnlyAtEnd) {
  const std::string before = "[Data]\r\n0001=a\r\n";
  test::WriteBytes(file_, before);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "start"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "0002=b"), 0);
  EXPECT_EQ(test::ReadBytes(file_), before);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
  // A new "start" drops the rewrite under way; only the second one is written.
  ASSERT_EQ(WriteSectionLine(file_, "Other", "start"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Other", "K=1"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Other", "end"), 0);
  EXPECT_EQ(test::ReadBytes(file_), before + "[Other]\r\nK=1\r\n");
  // Without an open rewrite a line goes nowhere and "end" has nothing to do.
  EXPECT_EQ(WriteSectionLine(file_, "Other", "K=2"), -1);
  EXPECT_EQ(WriteSectionLine(file_, "Other", "end"), 0);
  EXPECT_EQ(test::ReadBytes(file_), before + "[Other]\r\nK=1\r\n");
}

TEST_F(StoreWrite, NothingIsWrittenForAMissingFileOrAnEmptyPath) {
  EXPECT_EQ(WriteSectionLine(file_, "Data", "start"), -1);
  EXPECT_EQ(WriteSectionLine(file_, "Data", "end"), 0);
  EXPECT_EQ(WriteKeyValue("", "A", "K", "1"), -1);
  EXPECT_EQ(WriteSectionLine("", "A", "start"), -1);
  EXPECT_TRUE(dir_.Entries().empty());
}

}  // namespace
}  // namespace kavro
