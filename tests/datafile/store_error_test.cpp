// What cannot be read or written is refused with its reason, and without waiting or reading
// more than a data file can hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "datafile/atomic_file.h"
#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

struct Case {
  const char* name;
  // Makes the data file at the path given (or leaves it missing).
  std::function<void(const std::string&)> make;
  FileFault fault;
  int system_error = 0;  // checked where not 0
};

void MakeFolder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }
void MakeFifo(const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }
void MakeLinkLoop(const std::string& path) { ASSERT_EQ(symlink(path.c_str(), path.c_str()), 0); }
void MakeZeroLink(const std::string& path) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }
void MakeTooLarge(const std::string& path) {
  test::WriteBytes(path, "[A]\r\nK=1\r\n");
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(kMaxDataFileSize) + 1), 0);  // sparse
}

void ExpectReason(const Case& c, const FileError& error, const char* what) {
  EXPECT_EQ(error.fault, c.fault) << what << ": " << DescribeFileError(error);
  if (c.system_error != 0) {
    EXPECT_EQ(error.system_error, c.system_error) << what;
  }
}

class StoreError : public ::testing::Test {
 protected:
  void TearDown() override { alarm(0); }
  test::ScratchDir dir_;
};

TEST_F(StoreError, ReadsRefuseWhatIsNoReadableFileAtOnce) {
  alarm(20);  // a read that waits on the FIFO fails the run instead of stopping it
  const std::vector<Case> cases{
      {"folder", MakeFolder, FileFault::kNotRegular},
      {"fifo", MakeFifo, FileFault::kNotRegular},
      {"zero", MakeZeroLink, FileFault::kNotRegular},
      {"loop", MakeLinkLoop, FileFault::kIoError, ELOOP},
      {"large", MakeTooLarge, FileFault::kTooLarge},
      {"missing", [](const std::string&) {}, FileFault::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(c.name);
    c.make(path);
    const ReadOutcome expected =
        c.fault == FileFault::kNone ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    auto check = [&c](const FileError& error, const char* what) { ExpectReason(c, error, what); };
    std::string content = "old";
    FileError error{FileFault::kIoError, EIO};
    EXPECT_EQ(ReadWholeFile(path, content, &error), expected);
    EXPECT_EQ(content, "");
    check(error, "ReadWholeFile");
    check(ProbeReadable(path), "ProbeReadable");

    std::string value;
    EXPECT_EQ(ReadKeyValue(path, "A", "K", value, "dflt", &error), 0);
    EXPECT_EQ(value, "dflt");
    check(error, "ReadKeyValue");
    std::string buffer = "start";
    EXPECT_EQ(ReadSectionLine(path, "A", buffer, &error), -1);
    check(error, "ReadSectionLine");
    buffer = "end";
    ReadSectionLine(path, "A", buffer);
  }
  EXPECT_EQ(DescribeFileError({FileFault::kTooLarge, 0}), "larger than 64 MiB");
  EXPECT_EQ(DescribeFileError({FileFault::kIoError, ELOOP}), "too many levels of symbolic links");
}

TEST_F(StoreError, WritesTellWhyTheyFailed) {
  const std::string content = "[A]\r\nK=1\r\n";
  const std::vector<Case> cases{
      {"read-only",
       [&](const std::string& path) {
         test::WriteBytes(path, content);
         ASSERT_EQ(chmod(path.c_str(), 0444), 0);
       },
       FileFault::kReadOnly},
      {"no-folder/Kavro.dat", [](const std::string&) {}, FileFault::kNotFound, ENOENT},
      {"folder", MakeFolder, FileFault::kNotRegular},
      {"fifo", MakeFifo, FileFault::kNotRegular},
      {"loop", MakeLinkLoop, FileFault::kIoError, ELOOP},
      {"large", MakeTooLarge, FileFault::kTooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(c.name);
    c.make(path);
    auto check = [&c](const FileError& error, const char* what) { ExpectReason(c, error, what); };
    FileError error;
    EXPECT_EQ(WriteKeyValue(path, "A", "K", "2", &error), -1);
    check(error, "WriteKeyValue");
    // A section rewrite fails at "start" when the file cannot be read, else at "end".
    error = {};
    if (WriteSectionLine(path, "A", "start", &error) == 0) {
      EXPECT_EQ(error.fault, FileFault::kNone);
      EXPECT_EQ(WriteSectionLine(path, "A", "end", &error), -1);
    }
    check(error, "WriteSectionLine");
  }
  FileError error;
  EXPECT_EQ(WriteKeyValue("", "A", "K", "1", &error), -1);
  EXPECT_EQ(error.fault, FileFault::kNotFound);
  EXPECT_EQ(WriteSectionLine(dir_.Path("x"), "A", "line", &error), -1);  // no rewrite open
  EXPECT_EQ(error.fault, FileFault::kIoError);
  // A success leaves no reason behind.
  EXPECT_EQ(WriteKeyValue(dir_.Path("new.dat"), "A", "K", "1", &error), 0);
  EXPECT_EQ(error.fault, FileFault::kNone);
  EXPECT_EQ(test::ReadBytes(dir_.Path("read-only")), content);
}

}  // namespace
}  // namespace kavro
