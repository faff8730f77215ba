// Reading keys and sections of the data file.
#include <gtest/gtest.h>

#include "datafile/atomic_file.h"
#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

class StoreRead : public ::testing::Test {
 protected:
  std::string Read(std::string_view section, std::string_view key) {
    std::string value = "garbage";
    EXPECT_EQ(ReadKeyValue(file_, section, key, value, "dflt"), 0);
    return value;
  }

  // Every line of a whole section read: "start", the next ones until -1, "end".
  std::vector<std::string> ReadSection(std::string_view section) {
    std::vector<std::string> lines;
    std::string buffer = "start";
    while (ReadSectionLine(file_, section, buffer) == 0) {
      lines.push_back(buffer);
      buffer = "next";
    }
    EXPECT_EQ(buffer, "");
    buffer = "end";
    EXPECT_EQ(ReadSectionLine(file_, section, buffer), 0);
    EXPECT_EQ(buffer, "end");
    return lines;
  }

  test::ScratchDir dir_;
  std::string file_ = dir_.Path("Kavro.dat");
};

TEST_F(StoreRead, KeyLinesMatchIgnoringLetterCaseWithBlanksBeforeEquals) {
  test::WriteBytes(file_, "[COMMON]\r\nCOM = 3\r\nPAGE2=4\r\n  Lead=x\r\nV=\t a;b=c  \r\nE=\r\n");
  EXPECT_EQ(Read("COMMON", "COM"), "3");
  EXPECT_EQ(Read("common", "com"), "3");
  EXPECT_EQ(Read("COMMON", "PAGE"), "dflt");  // PAGE2 is another key
  EXPECT_EQ(Read("COMMON", "Page2"), "4");
  EXPECT_EQ(Read("COMMON", "Lead"), "dflt");  // blanks before the name: not a key line
  EXPECT_EQ(Read("COMMON", "v"), "a;b=c  ");  // leading blanks skipped, trailing kept
  EXPECT_EQ(Read("COMMON", "E"), "");         // present but empty is not missing
  EXPECT_EQ(Read("COMMON", "Missing"), "dflt");
  EXPECT_EQ(Read("Other", "COM"), "dflt");
}

TEST_F(StoreRead, OnlyTheFirstSectionAndFirstKeyLineOfANameCount) {
  test::WriteBytes(file_, "K=0\r\n[A]\r\nK=1\r\nk=2\r\n[a]\r\nK=3\r\nL=4\r\n");
  EXPECT_EQ(Read("A", "K"), "1");
  EXPECT_EQ(Read("A", "L"), "dflt");  // only in the second section of that name
}

TEST_F(StoreRead, AnyBracketLineEndsASectionButOnlyRealHeadersStartOne) {
  test::WriteBytes(file_, "[A\r\nK=0\r\n[A] text after\r\nK=1\r\n[no bracket\r\nL=2\r\n");
  EXPECT_EQ(Read("A", "K"), "1");
  EXPECT_EQ(Read("A", "L"), "dflt");
  EXPECT_EQ(Read("A] text after", "K"), "dflt");
}

TEST_F(StoreRead, DoubleByteCharactersInNamesMatchExactly) {
  // 0x83 0x61 and 0x83 0x41 are two different characters, though 0x61 and 0x41 are a and A.
  test::WriteBytes(file_, "[\x83\x61x]\r\n\x83\x61k=1\r\n");
  EXPECT_EQ(Read("\x83\x61X", "\x83\x61K"), "1");
  EXPECT_EQ(Read("\x83\x41x", "\x83\x61k"), "dflt");
  EXPECT_EQ(Read("\x83\x61x", "\x83\x41k"), "dflt");
}

TEST_F(StoreRead, LinesAreReadWholeWhateverTheirBytes) {
  const std::string long_value(300, '7');
  const std::string bracket_at_256 = "X=" + std::string(253, 'y') + "[Z]";
  test::WriteBytes(file_, "[A]\nLong=" + long_value + "\n" + bracket_at_256 +
                              "\nZ=a\x1a"
                              "b\nS=\x82\xa0\x82\xa2 %s\r\n");
  EXPECT_EQ(Read("A", "Long"), long_value);
  EXPECT_EQ(Read("A", "Z"),
            "a\x1a"
            "b");  // neither the long line nor Ctrl-Z ends anything
  EXPECT_EQ(Read("A", "S"), "\x82\xa0\x82\xa2 %s");
}

TEST_F(StoreRead, MissingOrUnusableFilesGiveTheDefault) {
  EXPECT_EQ(Read("A", "K"), "dflt");
  std::string value;
  EXPECT_EQ(ReadKeyValue("", "A", "K", value, "d"), 0);
  EXPECT_EQ(value, "d");
  ASSERT_EQ(mkdir(file_.c_str(), 0700), 0);  // a folder where the file should be
  EXPECT_EQ(Read("A", "K"), "dflt");
  std::string buffer = "start";
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);
  EXPECT_EQ(buffer, "");
}

TEST_F(StoreRead, SectionReaderReturnsKeyLinesWithTheirFirstEqualsAsASpace) {
  test::WriteBytes(file_,
                   "0001=before\r\n[Data]\r\n0012=8A1F TV power\r\nremark\r\n\r\n"
                   "0013 = x=y \r\n[Next]\r\n0014=z\r\n[data]\r\n0015=dup\r\n");
  EXPECT_EQ(ReadSection("DATA"), (std::vector<std::string>{"0012 8A1F TV power", "0013   x=y "}));
  EXPECT_EQ(ReadSection("Next"), std::vector<std::string>{"0014 z"});
}

TEST_F(StoreRead, SectionReaderStaysAtTheEndUntilEnd) {
  test::WriteBytes(file_, "[A]\nK=1\n[B]\nL=2\n");
  std::string buffer = "start";
  ASSERT_EQ(ReadSectionLine(file_, "A", buffer), 0);
  EXPECT_EQ(buffer, "K 1");
  // The next header ends the section for good: no line of [B] ever comes out.
  for (int i = 0; i < 3; ++i) {
    buffer = "x";
    EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);
    EXPECT_EQ(buffer, "");
  }
  // A new "start" begins again from the top, the old reading being closed first.
  buffer = "start";
  ASSERT_EQ(ReadSectionLine(file_, "A", buffer), 0);
  EXPECT_EQ(buffer, "K 1");
  buffer = "end";
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), 0);
  buffer = "x";
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);  // closed
}

TEST_F(StoreRead, SectionReaderFailsOnAMissingFileOrSectionAndStaysClosed) {
  std::string buffer = "start";
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);
  EXPECT_EQ(buffer, "");
  test::WriteBytes(file_, "[A]\r\nK=1\r\n");
  buffer = "start";
  EXPECT_EQ(ReadSectionLine(file_, "B", buffer), -1);
  buffer = "x";
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);  // no reading was opened
  buffer = "START";  // control words are exact: this is just "next"
  EXPECT_EQ(ReadSectionLine(file_, "A", buffer), -1);
  buffer = "start";
  EXPECT_EQ(ReadSectionLine("", "A", buffer), -1);
}

// A snapshot reads the file once: another program's change shows only after it, a change of
// our own at once, and an unreadable file gives its error on every read.
TEST_F(StoreRead, SnapshotServesOneReadUntilAChangeOfOurOwn) {
  test::WriteBytes(file_, "[A]\r\nK=1\r\n[D]\r\n0001=x\r\n0002=y\r\n");
  {
    const ReadSnapshot snapshot(file_);
    EXPECT_EQ(Read("A", "K"), "1");
    std::string buffer = "start";
    ASSERT_EQ(ReadSectionLine(file_, "D", buffer), 0);
    test::WriteBytes(file_, "[A]\r\nK=2\r\n");  // another program
    EXPECT_EQ(Read("A", "K"), "1");
    ASSERT_EQ(WriteKeyValue(file_, "A", "L", "3"), 0);
    EXPECT_EQ(Read("A", "K"), "2");
    EXPECT_EQ(Read("A", "L"), "3");
    // The reading begun before the change goes on in what it read.
    buffer = "next";
    EXPECT_EQ(ReadSectionLine(file_, "D", buffer), 0);
    EXPECT_EQ(buffer, "0002 y");
    buffer = "end";
    ReadSectionLine(file_, "D", buffer);
  }
  test::WriteBytes(file_, "[A]\r\nK=4\r\n");
  EXPECT_EQ(Read("A", "K"), "4");

  ASSERT_EQ(unlink(file_.c_str()), 0);
  ASSERT_EQ(mkdir(file_.c_str(), 0700), 0);
  const ReadSnapshot snapshot(file_);
  for (int i = 0; i < 2; ++i) {
    FileError error;
    std::string value;
    ReadKeyValue(file_, "A", "K", value, "d", &error);
    EXPECT_EQ(error.fault, FileFault::kNotRegular);
    EXPECT_EQ(value, "d");
  }
}

// Large files get memory of their own: every size reads the same bytes as a plain read.
TEST(FileBytesRead, EverySizeReadsTheFileExactly) {
  test::ScratchDir dir;
  const std::string path = dir.Path("f");
  for (const size_t size :
       {size_t{0}, size_t{7}, (size_t{256} << 10) - 1, size_t{256} << 10, (size_t{2} << 20) + 5}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 4096);
    test::WriteBytes(path, bytes);
    FileBytes read(3);
    ASSERT_EQ(ReadWholeFile(path, read), ReadOutcome::kRead) << size;
    EXPECT_TRUE(read.view() == bytes) << size;
    FileBytes moved = std::move(read);
    EXPECT_TRUE(moved.view() == bytes) << size;
  }
}

}  // namespace
}  // namespace kavro
