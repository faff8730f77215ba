#include "datafile/data_file_name.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace kavro {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(DataFileNameRule, OneArgumentIsTheNameUnchanged) {
  EXPECT_EQ(DataFileNameByRule({"D:\\codes\\my.dat"}, "/opt/kavro/kavro").path,
            "D:\\codes\\my.dat");
  EXPECT_EQ(DataFileNameByRule({"codes.txt"}, "").path, "codes.txt");  // no extension rule
  const DataFileName empty = DataFileNameByRule({""}, "/opt/kavro/kavro");
  EXPECT_EQ(empty.path, "");
  EXPECT_NE(empty.note, "");
}

TEST(DataFileNameRule, OtherwiseDerivedFromTheProgramFile) {
  EXPECT_EQ(DataFileNameByRule({}, "C:\\Kavro\\Kavro.exe").path, "C:\\Kavro\\Kavro.dat");
  EXPECT_EQ(DataFileNameByRule({"a", "b"}, "C:\\Kavro\\Kavro.exe").path, "C:\\Kavro\\Kavro.dat");
  EXPECT_EQ(DataFileNameByRule({}, "/opt/kavro/kavro").path, "/opt/kavro/kavro.dat");
  EXPECT_EQ(DataFileNameByRule({}, "/opt/kavro/kavro.bin.x").path, "/opt/kavro/kavro.bin.dat");
  // A dot only in a folder name is not the program's extension.
  EXPECT_EQ(DataFileNameByRule({}, "D:\\tools.x\\prog").path, "D:\\tools.x\\prog.dat");
  EXPECT_EQ(DataFileNameByRule({}, "/usr/lib/kavro-1.32/kavro").path,
            "/usr/lib/kavro-1.32/kavro.dat");
  EXPECT_EQ(DataFileNameByRule({}, "/home/u/bin/.kavro").path, "/home/u/bin/.kavro.dat");
  EXPECT_EQ(DataFileNameByRule({}, "kavro").path, "kavro.dat");
  for (const char* bad : {"", "/opt/kavro/"}) {
    const DataFileName n = DataFileNameByRule({}, bad);
    EXPECT_EQ(n.path, "") << bad;
    EXPECT_NE(n.note, "") << bad;
  }
}

TEST(DataFileNameRule, TooLongIsRefusedNotCut) {
  const std::string fits(1023, 'a');
  EXPECT_EQ(DataFileNameByRule({fits}, "").path, fits);
  const DataFileName refused = DataFileNameByRule({fits + "a"}, "");
  EXPECT_EQ(refused.path, "");
  EXPECT_NE(refused.note, "");
  // Derived: 1019 + ".dat" fits, one more does not.
  EXPECT_EQ(DataFileNameByRule({}, "/" + std::string(1018, 'p')).path.size(), 1023u);
  EXPECT_EQ(DataFileNameByRule({}, "/" + std::string(1019, 'p')).path, "");
}

TEST(DataFileNameRule, ProgramPaths) {
  EXPECT_EQ(SiblingProgramPath("/x/bin/kavro-cli", "kavro"), "/x/bin/kavro");
  EXPECT_EQ(SiblingProgramPath("kavro-cli", "kavro"), "kavro");
  const std::string self = ExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self[0], '/');
  EXPECT_EQ(fs::path(self).filename(), "datafile_tests");
}

// Runs the resolver in a child process, as an unprivileged user when the test runs as root
// (root may write into any folder, so a read-only install cannot be shown to it).
std::optional<DataFileName> ResolveUnprivileged(std::string exe_path) {
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const DataFileName n = ResolveDataFileName({}, exe_path);
    const std::string out = n.path + '\n' + n.note;
    const bool ok = write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
    _exit(ok ? 0 : 4);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  const std::size_t nl = out.find('\n');
  return DataFileName{out.substr(0, nl), out.substr(nl + 1)};
}

class DataFilePlace : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kavro-name-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::permissions(dir_, fs::perms::all);  // reachable for the unprivileged child
    Save("XDG_DATA_HOME", xdg_);
    Save("HOME", home_);
    setenv("XDG_DATA_HOME", (dir_ / "xdg").c_str(), 1);
  }
  void TearDown() override {
    Restore("XDG_DATA_HOME", xdg_);
    Restore("HOME", home_);
    std::error_code ec;
    fs::permissions(dir_ / "ro", fs::perms::all, ec);
    fs::remove_all(dir_, ec);
  }
  static void Save(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      setenv(name, slot->c_str(), 1);
    else
      unsetenv(name);
  }
  std::string UserFile() const { return (dir_ / "xdg" / "kavro" / "kavro.dat").string(); }

  fs::path dir_;
  std::optional<std::string> xdg_, home_;
};

TEST_F(DataFilePlace, BesideTheProgramWhenItsFolderIsWritable) {
  const DataFileName n = ResolveDataFileName({}, (dir_ / "kavro").string());
  EXPECT_EQ(n.path, (dir_ / "kavro.dat").string());
  EXPECT_EQ(n.note, "");
  EXPECT_FALSE(fs::exists(dir_ / "xdg"));
}

TEST_F(DataFilePlace, ArgumentIsNeverMoved) {
  const std::string arg = (dir_ / "missing" / "my.dat").string();
  EXPECT_EQ(ResolveDataFileName({arg}, (dir_ / "missing" / "kavro").string()).path, arg);
}

TEST_F(DataFilePlace, UserDataFolderWhenTheProgramFolderCannotTakeTheFile) {
  // A folder that does not exist cannot be written, whoever runs the test.
  const DataFileName n = ResolveDataFileName({}, (dir_ / "missing" / "kavro").string());
  EXPECT_EQ(n.path, UserFile());
  EXPECT_EQ(n.note, "");
  EXPECT_TRUE(fs::is_directory(dir_ / "xdg" / "kavro"));  // made now, so the first write works
  // A relative XDG_DATA_HOME is ignored in favour of HOME.
  setenv("XDG_DATA_HOME", "relative/data", 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  EXPECT_EQ(ResolveDataFileName({}, (dir_ / "missing" / "kavro").string()).path,
            (dir_ / "home" / ".local" / "share" / "kavro" / "kavro.dat").string());
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(UserDataFolder(), (dir_ / "home" / ".local" / "share" / "kavro").string());
}

TEST_F(DataFilePlace, ReadOnlyInstall) {
  fs::create_directory(dir_ / "ro");
  fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  const auto moved = ResolveUnprivileged((dir_ / "ro" / "kavro").string());
  ASSERT_TRUE(moved) << "child failed";
  EXPECT_EQ(moved->path, UserFile());
  EXPECT_TRUE(fs::is_directory(dir_ / "xdg" / "kavro"));

  // A file that already exists there is kept, even though the folder is read-only.
  fs::permissions(dir_ / "ro", fs::perms::all);
  std::ofstream(dir_ / "ro" / "kavro.dat") << "\r\n[COMMON]\r\nCOM=2\r\n";
  fs::permissions(dir_ / "ro",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const auto kept = ResolveUnprivileged((dir_ / "ro" / "kavro").string());
  ASSERT_TRUE(kept) << "child failed";
  EXPECT_EQ(kept->path, (dir_ / "ro" / "kavro.dat").string());
}

TEST_F(DataFilePlace, UserFolderThatCannotBeMadeIsReported) {
  std::ofstream(dir_ / "xdg") << "a file where the folder should be";
  const DataFileName n = ResolveDataFileName({}, (dir_ / "missing" / "kavro").string());
  EXPECT_EQ(n.path, UserFile());
  EXPECT_NE(n.note, "");
}

}  // namespace
}  // namespace kavro
