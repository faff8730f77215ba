// kavro-cli run as a program on data files in a temporary folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A Japanese word in Shift-JIS: three double-byte characters, two trail bytes in the ASCII range.
const std::string kSjisTv = "\x83\x65\x83\x8C\x83\x72";

class KavroCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kavro-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    data_ = dir_ / "codes.dat";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Runs `program` with `args`; its output streams go to files so that no pipe can fill up.
  Result RunProgram(const std::string& program, const std::vector<std::string>& args) {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int in = open("/dev/null", O_RDONLY);
      if (o < 0 || e < 0 || in < 0) _exit(120);
      dup2(in, 0);
      dup2(o, 1);
      dup2(e, 2);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }

  Result Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data", data_.string()});
    return RunProgram(KAVRO_CLI, args);
  }

  fs::path dir_;
  fs::path data_;
};

TEST_F(KavroCli, SetAndGetKeepShiftJisBytes) {
  const std::string value = "8A1F " + kSjisTv + " 1";
  Result r = Cli({"set", "Data", "0105", value});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(data_), "\r\n[Data]\r\n0105=" + value + "\r\n");

  r = Cli({"get", "data", "0105"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, value + "\n");
  // Missing keys: the default when one is given, otherwise an empty line.
  EXPECT_EQ(Cli({"get", "COMMON", "COM", "1"}).out, "1\n");
  EXPECT_EQ(Cli({"get", "COMMON", "COM"}).out, "\n");
  // An operand that looks like an option is taken as it is once the command has begun.
  ASSERT_EQ(Cli({"set", "COMMON", "Note", "--help"}).code, 0);
  EXPECT_EQ(Cli({"get", "COMMON", "Note"}).out, "--help\n");
}

TEST_F(KavroCli, SectionPrintsTheReaderLines) {
  WriteFile(data_, "[COMMON]\r\nCOM = 3\r\n; remark\r\n\r\nPAGE=2\r\n[Data]\r\n0001=8A x\r\n");
  const Result r = Cli({"section", "common"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "COM   3\nPAGE 2\n");
  EXPECT_EQ(Cli({"section", "Lan"}).out, "");
  EXPECT_EQ(Cli({"section", "Lan"}).code, 0);
}

TEST_F(KavroCli, CodesListsEveryNumberedRecord) {
  WriteFile(data_,
            "[COMMON]\r\nCOM=1\r\n[Data]\r\n"
            "0007=A1B2C3\r\n"
            "0008=B1 \r\n"
            "0105=8A1F P1 TV 5\r\n"
            "300=FF00 " + kSjisTv + "\r\n"
            "abc=FF01 junk\r\n"
            "1000 = FF02  two  blanks \r\n"
            "[EXT]\r\n0009=not a record\r\n");
  const Result r = Cli({"codes"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "0007 A1B2C3\n"
            "0008 B1\n"
            "0105 8A1F P1 TV 5\n"
            "0300 FF00 " + kSjisTv + "\n"
            // The rest after the first space, blanks and all, as the library lists it.
            "1000   FF02  two  blanks \n");
}

TEST_F(KavroCli, BadUsageIsExitTwoWithOneLine) {
  const std::vector<std::vector<std::string>> bad{
      {},
      {"--data"},
      {"--data", "", "codes"},
      {"--bogus", "codes"},
      {"frobnicate"},
      {"get", "COMMON"},
      {"get", "COMMON", "COM", "1", "extra"},
      {"set", "COMMON", "COM"},
      {"section"},
      {"codes", "extra"},
  };
  for (const auto& args : bad) {
    const Result r = RunProgram(KAVRO_CLI, args);
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "]";
    EXPECT_EQ(r.code, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_TRUE(r.err.starts_with("usage: kavro-cli")) << shown << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown;
  }
  const Result help = RunProgram(KAVRO_CLI, {"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.starts_with("usage: kavro-cli")) << help.out;
  EXPECT_EQ(help.err, "");
}

TEST_F(KavroCli, SetRefusesWhatWouldForgeOtherLines) {
  const std::string before = "[COMMON]\r\nCOM=1\r\n[Data]\r\n0001=8A x\r\n";
  WriteFile(data_, before);
  const std::vector<std::vector<std::string>> bad{
      {"set", "COMMON", "COM", "2\r\n[Data]\r\n0001=FF"},
      {"set", "COMMON", "COM=1", "2"},
      {"set", "COMMON", "[Data]", "2"},
      {"set", "COMMON", " COM", "2"},
      {"set", "COMMON", "", "2"},
      {"set", "Data]x", "COM", "2"},
      {"set", "", "COM", "2"},
  };
  for (const auto& args : bad) {
    const Result r = Cli(args);
    EXPECT_EQ(r.code, 2) << args[1] << "/" << args[2];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(ReadFile(data_), before);
}

TEST_F(KavroCli, FailedWriteIsExitOneAndLeavesTheFile) {
  const std::string before = "[COMMON]\r\nCOM=1\r\n";
  WriteFile(data_, before);
  fs::permissions(data_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const Result r = Cli({"set", "COMMON", "COM", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err, "");
  EXPECT_EQ(ReadFile(data_), before);
  EXPECT_EQ(Cli({"get", "COMMON", "COM"}).out, "1\n");  // reading still works

  data_ = dir_ / "no-such-folder" / "codes.dat";
  EXPECT_EQ(Cli({"set", "COMMON", "COM", "2"}).code, 1);
  EXPECT_FALSE(fs::exists(data_));
}

TEST_F(KavroCli, DefaultDataFileIsTheMainProgramsBesideIt) {
  const fs::path copy = dir_ / "kavro-cli";
  fs::copy_file(KAVRO_CLI, copy);
  const Result r = RunProgram(copy.string(), {"set", "COMMON", "COM", "4"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "kavro.dat"), "\r\n[COMMON]\r\nCOM=4\r\n");
  EXPECT_EQ(RunProgram(copy.string(), {"get", "COMMON", "COM"}).out, "4\n");
}

}  // namespace
