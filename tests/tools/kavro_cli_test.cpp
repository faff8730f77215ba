// kavro-cli run as a program on data files in a temporary folder, and against kavro-sim over a
// pseudo-terminal and over TCP on 127.0.0.1.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/link/sim_process.h"

namespace {

using kavro::test::SimProcess;

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
  long wakeups = 0;  // voluntary context switches of the run, all its threads
  double seconds = 0;
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
// The same word in UTF-8.
const std::string kUtf8Tv = "\xE3\x83\x86\xE3\x83\xAC\xE3\x83\x93";

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
      alarm(30);  // a hung run fails the test instead of stopping the suite
      dup2(in, 0);
      dup2(o, 1);
      dup2(e, 2);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.wakeups = usage.ru_nvcsw;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
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

  r = Cli({"--raw", "get", "data", "0105"});
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
            "300=FF00 " +
                kSjisTv +
                "\r\n"
                "abc=FF01 junk\r\n"
                "1000 = FF02  two  blanks \r\n"
                "[EXT]\r\n0009=not a record\r\n");
  const Result r = Cli({"codes"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "0007 A1B2C3\n"
            "0008 B1\n"
            "0105 8A1F P1 TV 5\n"
            "0300 FF00 " +
                kUtf8Tv +
                "\n"
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
  Result r = Cli({"set", "COMMON", "COM", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err,
            "kavro-cli: could not write " + data_.string() + ": read-only file (unchanged)\n");
  EXPECT_EQ(ReadFile(data_), before);
  EXPECT_EQ(Cli({"get", "COMMON", "COM"}).out, "1\n");  // reading still works

  data_ = dir_ / "no-such-folder" / "codes.dat";
  r = Cli({"set", "COMMON", "COM", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find(": no such file or folder (unchanged)"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(data_));
}

TEST_F(KavroCli, TextIsUtf8OutsideAndShiftJisInTheFile) {
  ASSERT_EQ(Cli({"set", "Data", "0105", "8A1F " + kUtf8Tv}).code, 0);
  EXPECT_EQ(ReadFile(data_), "\r\n[Data]\r\n0105=8A1F " + kSjisTv + "\r\n");
  EXPECT_EQ(Cli({"get", "Data", "0105"}).out, "8A1F " + kUtf8Tv + "\n");
  EXPECT_EQ(Cli({"codes"}).out, "0105 8A1F " + kUtf8Tv + "\n");
  EXPECT_EQ(Cli({"section", "Data"}).out, "0105 8A1F " + kUtf8Tv + "\n");
  // Names and defaults are converted too.
  ASSERT_EQ(Cli({"set", kUtf8Tv, kUtf8Tv, "1"}).code, 0);
  EXPECT_EQ(Cli({"--raw", "get", kSjisTv, kSjisTv}).out, "1\n");
  EXPECT_EQ(Cli({"get", "Data", "0999", kUtf8Tv}).out, kUtf8Tv + "\n");

  // --raw: bytes as they are both ways, even those that are no text at all.
  ASSERT_EQ(Cli({"--raw", "set", "Data", "0106", "\xFF\x1B[2J"}).code, 0);
  EXPECT_EQ(Cli({"--raw", "get", "Data", "0106"}).out, "\xFF\x1B[2J\n");
  EXPECT_EQ(Cli({"--raw", "get", "Data", "0105"}).out, "8A1F " + kSjisTv + "\n");
  // Without it a hand-edited file cannot send control sequences to the terminal.
  EXPECT_EQ(Cli({"get", "Data", "0106"}).out.find('\x1B'), std::string::npos);

  // What Shift-JIS cannot hold is refused, naming the operand; the file stays as it was.
  const std::string before = ReadFile(data_);
  const std::string emoji = "\xF0\x9F\x98\x80";
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
      {{"set", "Data", "0107", "8A1F " + emoji}, "VALUE"},
      {{"set", emoji, "K", "1"}, "SECTION"},
      {{"set", "Data", emoji, "1"}, "KEY"},
      {{"set", "Data", "0107", "\xFF\xFF"}, "VALUE"},  // neither UTF-8 nor Shift-JIS
      {{"get", "Data", "0105", emoji}, "DEFAULT"},
  };
  for (const auto& [args, name] : refused) {
    const Result r = Cli(args);
    EXPECT_EQ(r.code, 2) << name;
    EXPECT_TRUE(r.err.starts_with("kavro-cli: " + name + " ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "") << name;
  }
  EXPECT_EQ(ReadFile(data_), before);
}

TEST_F(KavroCli, AnUnreadableDataFileIsAnErrorNotTheDefaults) {
  struct Case {
    std::string name;
    std::function<void(const fs::path&)> make;
    std::string reason;
  };
  const std::vector<Case> cases{
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, "not a regular file"},
      {"FIFO", [](const fs::path& p) { mkfifo(p.c_str(), 0600); }, "not a regular file"},
      {"link loop", [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
       "too many levels of symbolic links"},
      {"link to dev-zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "not a regular file"},
  };
  const std::vector<std::vector<std::string>> commands{
      {"get", "COMMON", "COM", "1"}, {"section", "COMMON"}, {"codes"}, {"send", "1"}};
  for (const Case& c : cases) {
    data_ = dir_ / c.name;
    c.make(data_);
    for (const auto& command : commands) {
      const auto begin = std::chrono::steady_clock::now();
      const Result r = Cli(command);
      EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5)) << c.name;
      EXPECT_EQ(r.code, 1) << c.name << " " << command[0];
      EXPECT_EQ(r.out, "") << c.name << " " << command[0];
      EXPECT_EQ(r.err, "kavro-cli: " + data_.string() + ": " + c.reason + "\n") << command[0];
    }
  }
  // Only a missing file means the defaults.
  data_ = dir_ / "missing.dat";
  const Result r = Cli({"get", "COMMON", "COM", "1"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "1\n");
}

// ---------------------------------------------------------------- the codec commands

const std::string kNecPower = "6020000200430088B00200028000000000000020DF10EF000000000000";

// Encode, decode, calibrate, export and import chained over one data file, as a user would.
TEST_F(KavroCli, CodesAreEncodedDecodedCalibratedExportedAndImported) {
  WriteFile(data_, "[Signal]\r\nUnitNs=17625\r\n[Data]\r\n");
  Result r = Cli({"encode", "NEC1", "4", "-1", "8", "--store", "300", kUtf8Tv});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kNecPower + "\n");
  ASSERT_EQ(Cli({"encode", "sony12", "1", "-1", "21", "--store", "301", "sony"}).code, 0);
  r = Cli({"decode"});
  EXPECT_EQ(r.out, "0300\tNEC1\t4\t251\t8\t" + kUtf8Tv + "\n0301\tSony12\t1\t-\t21\tsony\n");
  r = Cli({"decode", "--json", "301"});
  EXPECT_EQ(r.out,
            "[\n  {\"number\": 301, \"protocol\": \"Sony12\", \"device\": 1, \"subdevice\": null, "
            "\"function\": 21, \"confident\": true, \"frames\": 3, \"bits\": 36, \"coding\": "
            "\"width\", \"comment\": \"sony\"}\n]\n");

  // The unit found again from the codes it made, and stored.
  ASSERT_EQ(Cli({"set", "Signal", "UnitNs", ""}).code, 0);
  r = Cli({"calibrate"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("unit 17")) << r.out;
  EXPECT_NE(Cli({"get", "Signal", "UnitNs"}).out, "\n");

  // What is exported comes back as the same codes (Pronto rounds to carrier periods).
  const std::string exported = (dir_ / "codes.txt").string();
  ASSERT_EQ(Cli({"export", "--format", "pronto", "-o", exported}).code, 0);
  r = Cli({"import", exported, "--from", "400"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "stored as 0400: " + kUtf8Tv + "\nstored as 0401: sony\n");
  r = Cli({"decode", "400", "401"});
  EXPECT_EQ(r.out, "0400\tNEC1\t4\t251\t8\t" + kUtf8Tv + "\n0401\tSony12\t1\t-\t21\tsony\n");

  // A partial import stores what fits and names what does not.
  const std::string csv = (dir_ / "irdb.csv").string();
  WriteFile(csv,
            "functionname,protocol,device,subdevice,function\nPOWER,NEC1,4,-1,8\n"
            "PLAY,RC5,5,-1,53\n");
  r = Cli({"import", csv});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "stored as 0250: POWER\nrefused: PLAY: RC5 is bi-phase coded\n");
  EXPECT_EQ(Cli({"get", "Data", "0250"}).out, kNecPower + " POWER\n");
}

TEST_F(KavroCli, CodecCommandsRefuseWithTheReason) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string err;  // a part of the message
  };
  const std::vector<Case> cases{
      {{"encode", "NEC1", "4", "-1", "8"}, 1, "calibrate"},  // no unit, no NEC1 code to copy
      {{"encode", "RC5", "5", "-1", "53"}, 2, "RC5 is bi-phase coded"},
      {{"encode", "NEC1", "4", "-1", "300"}, 2, "function 300 > 255"},
      {{"encode", "NEC1", "four", "-1", "8"}, 2, "whole numbers"},
      {{"calibrate"}, 1, "no code decodes confidently"},
      {{"export", "-o", "x"}, 2, "--format"},
      {{"export", "--format", "pronto"}, 1, "calibrate"},
      {{"import", (dir_ / "missing.txt").string()}, 1, "missing.txt"},
      {{"decode", "12x"}, 2, "record number"},
  };
  WriteFile(data_, "[Data]\r\n0300=" + std::string(58, 'A') + " x\r\n");
  for (const Case& c : cases) {
    const Result r = Cli(c.args);
    EXPECT_EQ(r.code, c.code) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(KavroCli, DefaultDataFileIsTheMainProgramsBesideIt) {
  const fs::path copy = dir_ / "kavro-cli";
  fs::copy_file(KAVRO_CLI, copy);
  const Result r = RunProgram(copy.string(), {"set", "COMMON", "COM", "4"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "kavro.dat"), "\r\n[COMMON]\r\nCOM=4\r\n");
  EXPECT_EQ(RunProgram(copy.string(), {"get", "COMMON", "COM"}).out, "4\n");
}

// ---------------------------------------------------------------- the controller commands

// What the simulator learns: two frames, with stray bytes where the absent third frame would be;
// and the text it is stored as, with those bytes cleared.
const std::string kSimCode = "200A000140400A8012014040A0000102030405112233445566778899AA";
const std::string kStoredCode = "200A000140400A8012014040A0000000000000112233445566778899AA";

// Waits for a condition that another process makes true (a line in the simulator's log).
bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class KavroCliController : public KavroCli {
 protected:
  // A simulator on a pty that the data file names COM1; `records` are lines of section Data.
  std::unique_ptr<SimProcess> PtySim(std::vector<std::string> options,
                                     const std::string& records = "") {
    options.insert(options.begin(), "--pty");
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_FALSE(sim->FirstLine().empty());
    WriteFile(data_, "[Serial]\r\nCOM1=" + sim->FirstLine() + "\r\n[Data]\r\n" + records);
    return sim;
  }
  // A simulator on TCP that the data file chooses as the link, with its port in section Lan.
  std::unique_ptr<SimProcess> TcpSim(std::vector<std::string> options,
                                     const std::string& records = "") {
    options.insert(options.begin(), {"--tcp", "127.0.0.1:0"});
    auto sim = std::make_unique<SimProcess>(std::move(options));
    EXPECT_GT(sim->TcpPort(), 0);
    WriteFile(data_, "[COMMON]\r\nCOM=6\r\n[Lan]\r\nHost=127.0.0.1\r\nPort=" +
                         std::to_string(sim->TcpPort()) + "\r\n[Data]\r\n" + records);
    return sim;
  }
  std::string Record(const std::string& key) { return Cli({"--raw", "get", "Data", key}).out; }
};

const std::string kRecord300 = "0300=" + kSimCode + " tv\r\n0302=" + std::string(60, 'A') + "\r\n";

TEST_F(KavroCliController, SendOverAPty) {
  auto sim = PtySim({}, kRecord300);
  Result r = Cli({"send", "300"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Send(300)\n");
  EXPECT_EQ(sim->Count("irsend"), 1);
  // -v shows the frame and the reply byte.
  r = Cli({"-v", "send", "300"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Send(300)\n S:53" + kSimCode + "\n R:45\n");

  // Bad records are refused before anything is sent, with the library window's messages.
  r = Cli({"send", "301"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "Send(301)\nNone Data!\n");
  r = Cli({"send", "302"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "Send(302)\nData Length Error!\n");
  EXPECT_EQ(sim->Count("irsend"), 2);

  sim = PtySim({"--send-reply", "85"}, kRecord300);
  r = Cli({"send", "300"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Send(300)\nIR Data Error! (0x85)\n");

  sim = PtySim({"--silent"}, kRecord300);
  r = Cli({"--tick-ms", "1", "send", "300"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Send(300)\nRS232C timeout!\n");
}

TEST_F(KavroCliController, LearnStoresTheCodeWithItsComment) {
  auto sim = PtySim({"--learn-delay", "0", "--learn-prefix", "AC", "--learn-code", kSimCode});
  // The comment is taken as UTF-8 and stored in Shift-JIS; Shift-JIS bytes are kept as given.
  Result r = Cli({"learn", "310", kUtf8Tv});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Push Controller!\nLearn OK!\n");
  EXPECT_EQ(Record("0310"), kStoredCode + " " + kSjisTv + "\n");
  r = Cli({"learn", "10", kSjisTv + " 2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Record("0010"), kStoredCode + " " + kSjisTv + " 2\n");

  // A refused learn and one that gets no answer store nothing.
  sim = PtySim({"--learn-delay", "0", "--learn-fail"});
  r = Cli({"learn", "320", "x"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Push Controller!\nLearn error!\n");
  sim = PtySim({"--silent"});
  r = Cli({"--tick-ms", "1", "learn", "320", "x"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Push Controller!\nRS232C timeout!\n");
  EXPECT_EQ(Record("0320"), "\n");
}

TEST_F(KavroCliController, IoPageOperationsOverAPty) {
  auto sim = PtySim({"--in-value", "5A", "--indata", "3C"});
  Result r = Cli({"out", "3", "ff"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "OutPort 03,FF\n S:03FF\n");
  // The tool waited until the frame was written before it closed the port (which purges).
  EXPECT_TRUE(WaitFor([&] { return sim->Count("output") == 1; })) << sim->Log();

  r = Cli({"in", "12"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "InPort 12\n S:12\n R:5A\n");
  r = Cli({"indata"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "InData\n S:40\n R:3C\n");
  r = Cli({"raw", "12"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "SendData length = 1\n S:12\n R:5A\n");
  // A raw frame the controller does not answer ends with the time-out.
  r = Cli({"--tick-ms", "1", "raw", "\"Z\""});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "SendData length = 1\n S:5A\nRS232C timeout!\n");
}

TEST_F(KavroCliController, SendAndLearnOverTcp) {
  auto sim = TcpSim({"--learn-delay", "0", "--learn-code", kSimCode}, kRecord300);
  Result r = Cli({"-v", "send", "300"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Send(300)\n S:RAVIZ S53" + kSimCode + "\n R:RE\n");
  r = Cli({"learn", "400", "pw"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Push Controller!\nLearn OK!\n");
  EXPECT_EQ(Record("0400"), kStoredCode + " pw\n");
  // The I/O page's port frames have no line on TCP: nothing answers them.
  r = Cli({"--tick-ms", "1", "in", "12"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "InPort 12\n S:12\nRS232C timeout!\n");

  sim = TcpSim({"--silent"}, kRecord300);
  r = Cli({"--tick-ms", "1", "send", "300"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Send(300)\nRS232C timeout!\n");
  EXPECT_EQ(sim->Count("irsend"), 1);
}

// Waiting for the controller sleeps until something happens: a learn answered after 1.5 s wakes
// the tool about as often as the link's 100 ms tick (a 1 ms poll made it 1500 times and more).
TEST_F(KavroCliController, WaitingForAReplyDoesNotPoll) {
  auto sim = PtySim({"--learn-delay", "1500", "--learn-code", kSimCode});
  const Result r = Cli({"learn", "330", "x"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_GE(r.seconds, 1.5);
  EXPECT_LT(r.wakeups, 300) << r.wakeups;
}

// A device that vanishes while a reply is awaited ends the wait at once, and says which.
TEST_F(KavroCliController, VanishedDeviceEndsTheCommandAtOnce) {
  auto sim = PtySim({"--learn-delay", "5000", "--close-after", "1"});
  const Result r = Cli({"learn", "330", "x"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Push Controller!\nRS232C lost! COM1 (" + sim->FirstLine() + ") disappeared\n");
  EXPECT_LT(r.seconds, 5.0);
  EXPECT_EQ(Record("0330"), "\n");
}

TEST_F(KavroCliController, UnreachableControllerIsExitOne) {
  WriteFile(data_, "[Serial]\r\nCOM2=/nonexistent/kavro-port\r\n[Data]\r\n" + kRecord300);
  Result r = Cli({"--link", "com2", "send", "300"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Send(300)\n");
  EXPECT_NE(r.err.find("/nonexistent/kavro-port"), std::string::npos) << r.err;

  // A port bound but not listening refuses the connection: no waiting for the time-out.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  r = Cli({"--link", "RaViz", "--port", std::to_string(ntohs(address.sin_port)), "send", "300"});
  close(fd);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err, "");
}

TEST_F(KavroCliController, BadInputIsExitTwoAndSendsNothing) {
  auto sim = PtySim({});
  struct Case {
    std::vector<std::string> args;
    std::string out;  // the window's message; empty when the tool's own goes to the error stream
  };
  const std::vector<Case> cases{
      {{"out", "10", "1"}, "address error!(0x0-0xf)\n"},
      {{"out", "", "1"}, "address error!\n"},
      {{"out", "-1", "1"}, "address error!(0x0-0xf)\n"},
      {{"out", "f", "100"}, "data error!(0x00-0xff)\n"},
      {{"in", "20"}, "address error!(0x10-0x1f)\n"},
      {{"raw", " , "}, "data error!\n"},
      {{"learn", "300", ""}, "Comment nothing!\n"},
      {{"learn", "300", std::string(21, 'c')}, ""},
      {{"learn", "300", kSjisTv + kSjisTv + kSjisTv + "123"}, ""},  // 21 bytes in Shift-JIS
      {{"learn", "300", "a\nb"}, ""},
      {{"learn", "300", "\xF0\x9F\x98\x80"}, ""},  // a character Shift-JIS cannot hold
      {{"learn", "3x", "c"}, ""},
      {{"send", "-1"}, ""},
      {{"raw", std::string(501, '1')}, ""},
      {{"--link", "COM6", "send", "300"}, ""},
      {{"--link", "RaViz", "--port", "12ab", "send", "300"}, ""},
  };
  for (const Case& c : cases) {
    const Result r = Cli(c.args);
    EXPECT_EQ(r.code, 2) << c.args.back();
    EXPECT_EQ(r.out, c.out) << c.args.back();
    EXPECT_EQ(r.err.empty(), !c.out.empty()) << c.args.back() << r.err;
  }
  // A port setting in the data file that is not a number is bad input too.
  WriteFile(data_, "[COMMON]\r\nCOM=6\r\n[Lan]\r\nPort=x1024\r\n");
  const Result r = Cli({"indata"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("x1024"), std::string::npos) << r.err;
  EXPECT_EQ(sim->Count("preamble"), 0);
}

}  // namespace
