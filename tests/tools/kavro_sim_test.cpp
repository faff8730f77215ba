// kavro-sim: the frame parser and responders, the answer queue and the session, and a few runs
// of the real program over a pty and over TCP on 127.0.0.1.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/kavro-sim/line_responder.h"
#include "tools/kavro-sim/outbox.h"
#include "tools/kavro-sim/serial_responder.h"
#include "tools/kavro-sim/session.h"
#include "tools/kavro-sim/sim_options.h"

namespace kavro::sim {
namespace {

const std::string kDefaultBlockHex = "301000014040A000000000000000000000000004FB08F7000000000000";

SimOptions serialOptions() {
  SimOptions options;
  options.learnCode = defaultLearnBlock();
  options.learnDelayMs = 0;
  return options;
}

SimOptions tcpOptions() {
  SimOptions options = serialOptions();
  options.transport = Transport::Tcp;
  return options;
}

Bytes irSendFrame() {
  Bytes frame{'S'};
  for (int i = 1; i < 30; ++i) frame.push_back(static_cast<std::uint8_t>(i));
  return frame;
}

// Every kind of frame, back to back, with what each is answered.
Bytes allFrames() {
  Bytes stream = toBytes("XXXXXL0");
  const Bytes send = irSendFrame();
  stream.insert(stream.end(), send.begin(), send.end());
  for (std::uint8_t b : {0x03, 0x7E, 0x13, 0x14, 0x40}) stream.push_back(b);
  return stream;
}

// "kind detail -> reply|reply" per frame, so a whole run compares as one list.
std::vector<std::string> summary(const std::vector<Received>& received) {
  std::vector<std::string> out;
  for (const Received& r : received) {
    std::string line = r.kind + " " + r.detail + " ->";
    for (const Reply& reply : r.replies) {
      line += " " + std::to_string(reply.delayMs) + ":" + toHex(reply.bytes);
    }
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> feedPieces(SerialResponder& responder, const Bytes& stream,
                                    const std::vector<std::size_t>& cuts) {
  std::vector<Received> all;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    auto part = responder.feed(0, stream.data() + from, cut - from);
    all.insert(all.end(), part.begin(), part.end());
    from = cut;
  }
  auto rest = responder.feed(0, stream.data() + from, stream.size() - from);
  all.insert(all.end(), rest.begin(), rest.end());
  return summary(all);
}

TEST(SerialResponder, AnswersEveryFrameWhateverTheSplit) {
  const SimOptions options = serialOptions();
  const Bytes stream = allFrames();
  const std::vector<std::string> expected = {
      "preamble 5858585858 ->",
      "learn 4C30 -> 0:47" + kDefaultBlockHex,
      "irsend " + toHex(irSendFrame()) + " -> 0:45",
      "output 037E ->",
      "input 13 -> 0:7E",  // what output port 3 was given
      "input 14 -> 0:00",  // never written: the default value
      "indata 40 -> 0:5A",
  };
  SerialResponder whole(options);
  EXPECT_EQ(feedPieces(whole, stream, {}), expected);
  for (std::size_t cut = 1; cut < stream.size(); ++cut) {
    SerialResponder split(options);
    EXPECT_EQ(feedPieces(split, stream, {cut}), expected) << "cut at " << cut;
  }
  std::vector<std::size_t> everyByte;
  for (std::size_t cut = 1; cut < stream.size(); ++cut) everyByte.push_back(cut);
  SerialResponder byByte(options);
  EXPECT_EQ(feedPieces(byByte, stream, everyByte), expected);
}

TEST(SerialResponder, SkipsBytesThatStartNoFrameOneAtATime) {
  SerialResponder responder(serialOptions());
  // A broken preamble, an 'L' without '0', and text typed as a raw frame.
  const Bytes stream = toBytes("XXL0L1ABC@");
  const auto got = responder.feed(0, stream.data(), stream.size());
  EXPECT_EQ(summary(got), (std::vector<std::string>{
                              "unknown 5858 ->",
                              "learn 4C30 -> 0:47" + kDefaultBlockHex,
                              "unknown 4C31414243 ->",
                              "indata 40 -> 0:5A",
                          }));
  EXPECT_FALSE(got[0].counts);
  EXPECT_TRUE(got[1].counts);
}

TEST(SerialResponder, GivesUpAnUnfinishedFrameAfterTheGap) {
  SimOptions options = serialOptions();
  options.frameGapMs = 200;
  SerialResponder responder(options);
  // A lone 'S' must not swallow the learn request that comes after it.
  const Bytes s = toBytes("SXX");
  EXPECT_TRUE(responder.feed(1000, s.data(), s.size()).empty());
  EXPECT_EQ(responder.deadline(), 1200);
  EXPECT_TRUE(responder.expire(1199).empty());
  const Bytes more = toBytes("X");
  EXPECT_TRUE(responder.feed(1150, more.data(), more.size()).empty());
  EXPECT_EQ(responder.deadline(), 1350);  // every byte restarts the gap
  EXPECT_EQ(summary(responder.expire(1350)), (std::vector<std::string>{"unknown 53585858 ->"}));
  EXPECT_FALSE(responder.deadline());
  const Bytes learn = toBytes("L0");
  EXPECT_EQ(responder.feed(2000, learn.data(), learn.size()).at(0).kind, "learn");

  options.frameGapMs = 0;
  SerialResponder patient(options);
  patient.feed(0, s.data(), s.size());
  EXPECT_FALSE(patient.deadline());
}

TEST(SerialResponder, LearnAndSendAnswersFollowTheOptions) {
  SimOptions options = serialOptions();
  options.learnPrefix = "AC";
  options.learnDelayMs = 300;
  options.sendReply = {0x45, 0x78};
  options.sendDelayMs = 40;
  options.inData = 0x01;
  options.inValue = 0xFF;
  SerialResponder responder(options);
  Bytes stream = toBytes("L0");
  const Bytes send = irSendFrame();
  stream.insert(stream.end(), send.begin(), send.end());
  stream.push_back(0x1F);
  stream.push_back(0x40);
  EXPECT_EQ(summary(responder.feed(0, stream.data(), stream.size())),
            (std::vector<std::string>{
                "learn 4C30 -> 0:4143 300:47" + kDefaultBlockHex,
                "irsend " + toHex(send) + " -> 40:4578",
                "input 1F -> 0:FF",
                "indata 40 -> 0:01",
            }));

  options.learnFail = true;
  options.learnPrefix.clear();
  SerialResponder failing(options);
  const Bytes learn = toBytes("L0");
  EXPECT_EQ(summary(failing.feed(0, learn.data(), learn.size())),
            (std::vector<std::string>{"learn 4C30 -> 300:4E"}));
}

std::vector<std::string> feedLines(const SimOptions& options, const std::string& text,
                                   std::size_t cut) {
  LineResponder responder(options);
  const Bytes bytes = toBytes(text);
  auto got = responder.feed(bytes.data(), cut);
  auto rest = responder.feed(bytes.data() + cut, bytes.size() - cut);
  got.insert(got.end(), rest.begin(), rest.end());
  return summary(got);
}

TEST(LineResponder, AnswersEveryLineWhateverTheSplit) {
  const std::string send = "RAVIZ S53" + toHex(irSendFrame()).substr(2);
  ASSERT_EQ(send.size(), 67u);
  const std::string text = "RAVIZ C\r\n" + send + "\r\nRAVIZ D\r\nRAVIZ X\nhello\r\n";
  const std::vector<std::string> expected = {
      "learn \"RAVIZ C\" -> 0:" + toHex(toBytes("RG" + kDefaultBlockHex + "\r\n")),
      "irsend \"" + send + "\" -> 0:" + toHex(toBytes("RE\r\n")),
      "done \"RAVIZ D\" ->",
      "unknown \"RAVIZ X\" ->",
      "unknown \"hello\" ->",
  };
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    EXPECT_EQ(feedLines(tcpOptions(), text, cut), expected) << "cut at " << cut;
  }
}

TEST(LineResponder, RefusesMalformedSendLinesAndDropsOverlongLines) {
  const std::string hex = toHex(irSendFrame()).substr(2);
  const std::string text = "RAVIZ S53" + hex.substr(2) + "\r\n" +        // 28 bytes
                           "RAVIZ S53" + hex + "00\r\n" +                // 30 bytes
                           "RAVIZ S53" + hex.substr(2) + "G1\r\n" +      // not hex
                           "RAVIZ S54" + hex + "\r\n" +                  // not 'S'
                           "RAVIZ S53" + std::string(58, 'a') + "\r\n";  // lower case is fine
  const auto got = feedLines(tcpOptions(), text, 0);
  ASSERT_EQ(got.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(got[i].starts_with("unknown ")) << got[i];
  EXPECT_TRUE(got[4].starts_with("irsend ")) << got[4];

  LineResponder responder(tcpOptions());
  const Bytes longLine(LineResponder::kMaxLine + 100, 'R');
  const auto dropped = responder.feed(longLine.data(), longLine.size());
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].kind, "overlong");
  const Bytes next = toBytes("more\r\nRAVIZ D\r\n");
  EXPECT_EQ(summary(responder.feed(next.data(), next.size())),
            (std::vector<std::string>{"done \"RAVIZ D\" ->"}));
}

TEST(LineResponder, LearnSendAndDoneAnswersFollowTheOptions) {
  SimOptions options = tcpOptions();
  options.learnPrefix = "A";
  options.learnFail = true;
  options.learnDelayMs = 50;
  options.sendReply = {0x85};
  options.answerD = true;
  const std::string text = "RAVIZ C\r\nRAVIZ S53" + std::string(58, '0') + "\r\nRAVIZ D\r\n";
  EXPECT_EQ(
      feedLines(options, text, 0),
      (std::vector<std::string>{
          "learn \"RAVIZ C\" -> 0:" + toHex(toBytes("RA\r\n")) + " 50:" + toHex(toBytes("RN\r\n")),
          "irsend \"RAVIZ S53" + std::string(58, '0') + "\" -> 0:" + toHex(toBytes("ERROR 85\r\n")),
          "done \"RAVIZ D\" -> 0:" + toHex(toBytes("MOK\r\n")),
      }));
}

TEST(Outbox, KeepsOrderSplitsIntoPiecesAndClosesLast) {
  Outbox box;
  box.push(100, 500, toBytes("GGGGG"), 2, 10);  // due 600, 610, 620
  box.push(100, 0, toBytes("E"));               // may not overtake: due 620
  box.pushClose(100);
  EXPECT_EQ(box.nextDue(), 600);
  EXPECT_EQ(box.due(599), nullptr);
  ASSERT_NE(box.due(600), nullptr);
  EXPECT_EQ(*box.due(600), toBytes("GG"));
  box.written(1);  // a short write keeps the rest first in line
  EXPECT_EQ(*box.due(600), toBytes("G"));
  box.written(1);
  EXPECT_EQ(box.due(609), nullptr);
  EXPECT_EQ(*box.due(610), toBytes("GG"));
  box.written(2);
  EXPECT_EQ(*box.due(620), toBytes("G"));
  box.written(1);
  EXPECT_FALSE(box.closeDue(620));
  EXPECT_EQ(*box.due(620), toBytes("E"));
  box.written(1);
  EXPECT_EQ(box.due(620), nullptr);
  EXPECT_TRUE(box.closeDue(620));
}

struct SessionRun {
  explicit SessionRun(const SimOptions& options)
      : session(options, [this](std::string_view kind, std::string_view detail) {
          log.push_back(std::string(kind) + (detail.empty() ? "" : " " + std::string(detail)));
        }) {}

  void input(Millis now, const std::string& text) {
    const Bytes bytes = toBytes(text);
    session.input(now, bytes.data(), bytes.size());
  }
  // Writes everything due up to `now`, piece by piece; returns it joined.
  std::string drain(Millis now) {
    session.tick(now);
    std::string out;
    while (const Bytes* piece = session.output(now)) {
      out.append(piece->begin(), piece->end());
      session.written(piece->size());
    }
    return out;
  }

  std::vector<std::string> log;
  Session session;
};

TEST(Session, SilentLogsButNeverAnswers) {
  SimOptions options = serialOptions();
  options.silent = true;
  SessionRun run(options);
  run.input(0, "XXXXXL0@");
  EXPECT_EQ(run.drain(1000), "");
  EXPECT_EQ(run.log, (std::vector<std::string>{"preamble 5858585858", "learn 4C30", "indata 40"}));
}

TEST(Session, ClosesAfterTheCountedFramesAndTheirAnswers) {
  SimOptions options = serialOptions();
  options.closeAfter = 2;
  options.learnDelayMs = 100;
  SessionRun run(options);
  // '?' is skipped and does not count; the input data request comes after the close.
  run.input(0, "?XXXXXL0@");
  EXPECT_EQ(run.drain(99), "");
  EXPECT_FALSE(run.session.closeDue(99));
  EXPECT_EQ(toHex(toBytes(run.drain(100))), "47" + kDefaultBlockHex);
  EXPECT_TRUE(run.session.closeDue(100));
  EXPECT_EQ(run.log.back(), "sent 47" + kDefaultBlockHex);
  EXPECT_EQ(run.log.at(3), "indata 40");  // logged, never answered
}

TEST(Session, SendsUnsolicitedBytesOnceOrPeriodically) {
  SimOptions options = serialOptions();
  options.unsolicited = {0x01, 0x02};
  options.unsolicitedAfterMs = 50;
  SessionRun once(options);
  EXPECT_FALSE(once.session.tickDeadline());  // the pty waits for the first frame
  once.input(1000, "XXXXX");
  EXPECT_EQ(once.session.tickDeadline(), 1050);
  EXPECT_EQ(once.drain(1049), "");
  EXPECT_EQ(once.drain(1050), "\x01\x02");
  EXPECT_EQ(once.drain(5000), "");
  EXPECT_FALSE(once.session.tickDeadline());

  options.transport = Transport::Tcp;
  options.unsolicitedEveryMs = 100;
  options.split = 1;
  options.splitPauseMs = 5;
  SessionRun periodic(options);
  periodic.session.start(0);              // TCP: from the connect
  EXPECT_EQ(periodic.drain(50), "\x01");  // pieces of one byte, 5 ms apart
  EXPECT_EQ(periodic.drain(55), "\x02");
  EXPECT_EQ(periodic.session.tickDeadline(), 150);
  EXPECT_EQ(periodic.drain(150), "\x01");
  // A late tick sends one copy and keeps the period from then on.
  EXPECT_EQ(periodic.drain(1000), "\x02\x01");
  EXPECT_EQ(periodic.session.tickDeadline(), 1100);
}

TEST(SimOptions, ParsesAddressesAndRefusesBadValues) {
  const auto port = parseOptions({"--tcp", "1024"});
  ASSERT_TRUE(port.options);
  EXPECT_EQ(port.options->host, "127.0.0.1");  // loopback unless an address is given
  EXPECT_EQ(port.options->port, 1024);
  EXPECT_EQ(port.options->learnCode, defaultLearnBlock());
  const auto any = parseOptions({"--tcp", "0.0.0.0:99"});
  ASSERT_TRUE(any.options);
  EXPECT_EQ(any.options->host, "0.0.0.0");
  EXPECT_EQ(parseOptions({"--tcp", "localhost:0"}).options->host, "127.0.0.1");
  const auto values = parseOptions({"--pty", "--in-value", "7", "--send-reply", "4578"});
  ASSERT_TRUE(values.options);
  EXPECT_EQ(values.options->inValue, 0x07);
  EXPECT_EQ(values.options->sendReply, (Bytes{0x45, 0x78}));

  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--pty", "--tcp", "1"},
      {"--tcp", "example.com:1"},
      {"--tcp", "70000"},
      {"--pty", "--learn-code", "3010"},
      {"--pty", "--learn-code", std::string(57, '0') + "Z"},
      {"--pty", "--learn-prefix", "AB"},
      {"--pty", "--send-reply", ""},
      {"--pty", "--indata", "123"},
      {"--pty", "--split", "0"},
      {"--pty", "--split-pause", "5"},
      {"--pty", "--learn-delay", "-1"},
      {"--pty", "--learn-delay"},
      {"--pty", "--bogus"},
  };
  for (const auto& args : bad) {
    const auto parsed = parseOptions(args);
    EXPECT_FALSE(parsed.options) << ::testing::PrintToString(args);
    EXPECT_FALSE(parsed.error.empty()) << ::testing::PrintToString(args);
  }
}

// ---- The real program -------------------------------------------------------------------

constexpr int kPatienceMs = 5000;  // only a guard against a hang; nothing waits this long

// Reads until `size` bytes arrived, the other end closed, or the guard ran out.
std::string readExactly(int fd, std::size_t size) {
  std::string got;
  while (got.size() < size) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kPatienceMs) <= 0) break;
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, size - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void writeAll(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro-sim-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// kavro-sim as a child process with a pipe on its standard input and output.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
      args.insert(args.begin(), KAVRO_SIM_BIN);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(KAVRO_SIM_BIN, argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeStdin();
    if (stdout_ >= 0) ::close(stdout_);
  }

  std::string firstLine() {
    std::string line;
    for (;;) {
      const std::string c = readExactly(stdout_, 1);
      if (c.empty() || c == "\n") return line;
      line += c;
    }
  }
  void closeStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void signal(int number) { ::kill(pid_, number); }
  // The exit status, or -1 when the program did not end within the guard.
  int wait() {
    for (int waitedMs = 0; waitedMs < kPatienceMs; waitedMs += 5) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ::usleep(5000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool waited_ = false;
};

int openRawPty(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (fd >= 0 && ::tcgetattr(fd, &settings) == 0) {
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
  }
  return fd;
}

int connectTo(const std::string& address) {
  const auto colon = address.rfind(':');
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1))));
  ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &peer.sin_addr);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(KavroSimProgram, ServesTheControllerOnAPty) {
  TempDir dir;
  const std::string log = dir.file("sim.log");
  SimProcess sim({"--pty", "--learn-delay", "0", "--log", log, "--exit-on-stdin-eof"});
  const std::string path = sim.firstLine();
  ASSERT_TRUE(path.starts_with("/dev/")) << path;
  const int fd = openRawPty(path);
  ASSERT_GE(fd, 0);

  writeAll(fd, "XXXXXL0");
  EXPECT_EQ(readExactly(fd, 30), "G" + text(defaultLearnBlock()));
  const std::string send = text(irSendFrame());
  writeAll(fd, send.substr(0, 11));
  writeAll(fd, send.substr(11));
  EXPECT_EQ(readExactly(fd, 1), "E");
  writeAll(fd, std::string("\x05\x99\x15\x40", 4));
  EXPECT_EQ(readExactly(fd, 2), "\x99\x5A");
  ::close(fd);

  sim.closeStdin();
  EXPECT_EQ(sim.wait(), 0);
  const std::string logged = readFile(log);
  for (const std::string& entry : std::vector<std::string>{
           "preamble 5858585858\n", "learn 4C30\n", "irsend " + toHex(irSendFrame()) + "\n",
           "output 0599\n", "input 15\n", "indata 40\n", "sent 47" + kDefaultBlockHex + "\n",
           "sent 99\n", "sent 5A\n", "stop end of standard input\n"}) {
    EXPECT_NE(logged.find(entry), std::string::npos) << entry << " not in\n" << logged;
  }
  // Every line starts with the time of day, to the millisecond.
  std::istringstream lines(logged);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_GE(line.size(), 13u);
    EXPECT_EQ(line[2], ':');
    EXPECT_EQ(line[8], '.');
    EXPECT_EQ(line[12], ' ') << line;
  }
}

TEST(KavroSimProgram, PtyVanishesAfterTheLastFrame) {
  SimProcess sim({"--pty", "--learn-delay", "5", "--learn-prefix", "A", "--close-after", "2",
                  "--log", "/dev/null"});
  const int fd = openRawPty(sim.firstLine());
  ASSERT_GE(fd, 0);
  writeAll(fd, "XXXXXL0");
  EXPECT_EQ(readExactly(fd, 31), "AG" + text(defaultLearnBlock()));
  // The master is gone: the slave reads end of file or EIO, never hangs.
  EXPECT_EQ(readExactly(fd, 1), "");
  ::close(fd);
  EXPECT_EQ(sim.wait(), 0);
}

TEST(KavroSimProgram, ServesTheIrServerOnTcp) {
  TempDir dir;
  const std::string log = dir.file("sim.log");
  SimProcess sim({"--tcp", "0", "--learn-delay", "0", "--answer-d", "--log", log});
  const std::string address = sim.firstLine();
  ASSERT_TRUE(address.starts_with("127.0.0.1:")) << address;
  const int fd = connectTo(address);
  ASSERT_GE(fd, 0);

  writeAll(fd, "RAVIZ C\r\n");
  const std::string learned = "RG" + kDefaultBlockHex + "\r\n";
  EXPECT_EQ(readExactly(fd, learned.size()), learned);
  const std::string send = "RAVIZ S53" + toHex(irSendFrame()).substr(2) + "\r\n";
  writeAll(fd, send.substr(0, 30));
  writeAll(fd, send.substr(30) + "RAVIZ D\r\n");
  EXPECT_EQ(readExactly(fd, 9), "RE\r\nMOK\r\n");
  ::close(fd);

  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
  const std::string logged = readFile(log);
  for (const std::string& entry :
       std::vector<std::string>{"listen " + address + "\n", "learn \"RAVIZ C\"\n",
                                "sent \"RE\\r\\n\"\n", "done \"RAVIZ D\"\n", "stop signal\n"}) {
    EXPECT_NE(logged.find(entry), std::string::npos) << entry << " not in\n" << logged;
  }
}

TEST(KavroSimProgram, TcpClosesAfterTheLastLineAndAcceptsTheNextClient) {
  SimProcess sim({"--tcp", "127.0.0.1:0", "--silent", "--close-after", "1", "--log", "/dev/null"});
  const std::string address = sim.firstLine();
  for (int client = 0; client < 2; ++client) {
    const int fd = connectTo(address);
    ASSERT_GE(fd, 0);
    writeAll(fd, "RAVIZ C\r\n");
    EXPECT_EQ(readExactly(fd, 1), "") << "client " << client;  // closed without an answer
    ::close(fd);
  }
  sim.signal(SIGINT);
  EXPECT_EQ(sim.wait(), 0);
}

TEST(KavroSimProgram, RefusesBadUsage) {
  SimProcess sim({"--tcp", "example.com:1024"});
  EXPECT_EQ(sim.firstLine(), "");
  EXPECT_EQ(sim.wait(), 2);
}

}  // namespace
}  // namespace kavro::sim
