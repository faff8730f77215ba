// A change that cannot be made leaves the old file whole; one that succeeds keeps the file's
// permissions, owner and links; neither leaves a temporary file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "datafile/store.h"
#include "tests/datafile/store_test_support.h"

namespace kavro {
namespace {

const std::string kContent = "[COMMON]\r\nCOM=1\r\n[Data]\r\n0001=8A1F TV\r\n";

class StoreSafety : public ::testing::Test {
 protected:
  test::ScratchDir dir_;
  std::string file_ = dir_.Path("Kavro.dat");
};

TEST_F(StoreSafety, PermissionBitsAndOwnerCarryOver) {
  test::WriteBytes(file_, kContent);
  ASSERT_EQ(chmod(file_.c_str(), 02640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(file_.c_str(), test::kNobody, test::kNobody), 0);
  }
  ASSERT_EQ(WriteKeyValue(file_, "COMMON", "COM", "2"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "start"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "end"), 0);
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 02640u);
  if (root) {
    EXPECT_EQ(st.st_uid, test::kNobody);
  }
  EXPECT_EQ(test::ReadBytes(file_), "[COMMON]\r\nCOM=2\r\n[Data]\r\n");
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
}

TEST_F(StoreSafety, ASymbolicLinkStaysALinkAndItsTargetChanges) {
  ASSERT_EQ(mkdir(dir_.Path("real").c_str(), 0700), 0);
  test::WriteBytes(dir_.Path("real/codes.dat"), kContent);
  ASSERT_EQ(symlink("real/codes.dat", file_.c_str()), 0);
  ASSERT_EQ(WriteKeyValue(file_, "COMMON", "COM", "2"), 0);
  struct stat st {};
  ASSERT_EQ(lstat(file_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(test::ReadBytes(dir_.Path("real/codes.dat")),
            "[COMMON]\r\nCOM=2\r\n[Data]\r\n0001=8A1F TV\r\n");
  // A dangling link: the file it names is created, the link stays.
  const std::string dangling = dir_.Path("new.dat");
  ASSERT_EQ(symlink("real/new-target.dat", dangling.c_str()), 0);
  ASSERT_EQ(WriteKeyValue(dangling, "A", "K", "1"), 0);
  ASSERT_EQ(lstat(dangling.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(test::ReadBytes(dir_.Path("real/new-target.dat")), "\r\n[A]\r\nK=1\r\n");
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"Kavro.dat", "new.dat", "real"}));
}

TEST_F(StoreSafety, AReadOnlyFileStaysAsItIsThoughItsFolderAllowsARename) {
  test::WriteBytes(file_, kContent);
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  EXPECT_EQ(WriteKeyValue(file_, "COMMON", "COM", "2"), -1);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "start"), 0);
  ASSERT_EQ(WriteSectionLine(file_, "Data", "0250=x"), 0);
  EXPECT_EQ(WriteSectionLine(file_, "Data", "end"), -1);
  EXPECT_EQ(test::ReadBytes(file_), kContent);
  EXPECT_EQ(test::ModeOf(file_), 0444u);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
}

TEST_F(StoreSafety, NoFileIsMadeWhereThePathCannotHoldOne) {
  ASSERT_EQ(mkdir(file_.c_str(), 0700), 0);  // a folder in place of the file
  EXPECT_EQ(WriteKeyValue(file_, "A", "K", "1"), -1);
  EXPECT_EQ(WriteSectionLine(file_, "A", "start"), -1);
  EXPECT_EQ(WriteKeyValue(dir_.Path("missing/Kavro.dat"), "A", "K", "1"), -1);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
  EXPECT_TRUE(std::filesystem::is_empty(file_));
}

TEST_F(StoreSafety, AWriteThatFailsHalfwayLeavesTheOldFileAndNoTemporaryFile) {
  const std::string big = "; " + std::string(5000, 'x') + "\r\n" + kContent;
  test::WriteBytes(file_, big);
  // No file of this process may grow past 1000 bytes: the new content cannot be written.
  std::string failure = test::RunInChild([&] {
    test::ChildExpect expect;
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    expect(setrlimit(RLIMIT_FSIZE, &limit) == 0, "setrlimit");
    expect(WriteKeyValue(file_, "COMMON", "COM", "2") == -1, "WriteKeyValue should fail");
    expect(WriteSectionLine(file_, "Data", "start") == 0, "start");
    expect(WriteSectionLine(file_, "Data", "end") == -1, "end should fail");
    return expect.failure();
  });
  EXPECT_EQ(failure, "");
  EXPECT_TRUE(test::ReadBytes(file_) == big);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
}

TEST_F(StoreSafety, AnUnreadableFileIsNeitherReadNorReplaced) {
  const std::string file = file_;
  std::string failure = test::RunAsOrdinaryUser(dir_.path(), [&] {
    test::ChildExpect expect;
    test::WriteBytes(file, kContent);
    expect(chmod(file.c_str(), 0) == 0, "chmod");
    std::string value;
    FileError error;
    ReadKeyValue(file, "COMMON", "COM", value, "dflt", &error);
    expect(value == "dflt", "read gave no default");
    expect(error.fault == FileFault::kNotPermitted, "read reason");
    expect(ProbeReadable(file).fault == FileFault::kNotPermitted, "probe reason");
    std::string buffer = "start";
    expect(ReadSectionLine(file, "Data", buffer) == -1, "section read should fail");
    expect(WriteKeyValue(file, "COMMON", "COM", "2") == -1, "WriteKeyValue should fail");
    expect(WriteSectionLine(file, "Data", "start") == -1, "section rewrite should fail");
    return expect.failure();
  });
  EXPECT_EQ(failure, "");
  EXPECT_EQ(test::ModeOf(file_), 0u);
  ASSERT_EQ(chmod(file_.c_str(), 0600), 0);  // we are its owner, or root
  EXPECT_EQ(test::ReadBytes(file_), kContent);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"Kavro.dat"});
}

TEST_F(StoreSafety, InAFolderThatTakesNoNewFileTheFileIsRewrittenInPlace) {
  const std::string folder = dir_.Path("locked");
  const std::string file = folder + "/Kavro.dat";
  const std::string readonly = folder + "/readonly.dat";
  std::string failure = test::RunAsOrdinaryUser(dir_.path(), [&] {
    test::ChildExpect expect;
    expect(mkdir(folder.c_str(), 0700) == 0, "mkdir");
    test::WriteBytes(file, kContent);
    test::WriteBytes(readonly, kContent);
    expect(chmod(readonly.c_str(), 0444) == 0, "chmod file");
    expect(chmod(folder.c_str(), 0500) == 0, "chmod folder");
    // Longer, then shorter than before: both must come out exact.
    expect(WriteKeyValue(file, "COMMON", "COM", "123456789") == 0, "longer in place");
    expect(test::ReadBytes(file) == "[COMMON]\r\nCOM=123456789\r\n[Data]\r\n0001=8A1F TV\r\n",
           "longer content");
    expect(
        WriteSectionLine(file, "Data", "start") == 0 && WriteSectionLine(file, "Data", "end") == 0,
        "shorter in place");
    expect(test::ReadBytes(file) == "[COMMON]\r\nCOM=123456789\r\n[Data]\r\n", "shorter content");
    // No room to grow: the old content stays.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100, 100};
    expect(setrlimit(RLIMIT_FSIZE, &limit) == 0, "setrlimit");
    expect(WriteKeyValue(file, "A", "K", std::string(200, 'v')) == -1, "growth beyond limit");
    expect(test::ReadBytes(file) == "[COMMON]\r\nCOM=123456789\r\n[Data]\r\n",
           "after failed growth");
    // Neither a read-only file nor a new one.
    expect(WriteKeyValue(readonly, "COMMON", "COM", "2") == -1, "read-only file written");
    expect(test::ReadBytes(readonly) == kContent, "read-only file changed");
    FileError error;
    expect(WriteKeyValue(folder + "/new.dat", "A", "K", "1", &error) == -1, "new file made");
    expect(error.fault == FileFault::kNotPermitted, "reason for the new file");
    return expect.failure();
  });
  EXPECT_EQ(failure, "");
  EXPECT_EQ(test::ModeOf(file), 0666u & ~test::CurrentUmask());
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    entries.push_back(entry.path().filename().string());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"Kavro.dat", "readonly.dat"}));
}

TEST_F(StoreSafety, AnotherUsersWritableFileInAStickyFolderIsRewrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
  const std::string folder = dir_.Path("shared");
  const std::string file = folder + "/Kavro.dat";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
  test::WriteBytes(file, kContent);
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  std::string failure = test::RunAsOrdinaryUser(dir_.path(), [&] {
    test::ChildExpect expect;
    expect(WriteKeyValue(file, "COMMON", "COM", "2") == 0, "write refused");
    return expect.failure();
  });
  EXPECT_EQ(failure, "");
  EXPECT_EQ(test::ReadBytes(file), "[COMMON]\r\nCOM=2\r\n[Data]\r\n0001=8A1F TV\r\n");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    entries.push_back(entry.path().filename().string());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"Kavro.dat", "Kavro.dat.lock"}));
}

}  // namespace
}  // namespace kavro
