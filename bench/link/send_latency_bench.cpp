// Send latency of the controller link: from SendIrData until the far end has read the last byte
// of the IR send frame, against a bare write() of the same bytes on the same channel.
//   pty: the link over TCommX with the Qt dispatcher (as the program runs it) against a write of
//        the 30-byte frame on the pty's slave; the far end reads the master and answers 'E'.
//   tcp: the link over the Qt socket against a write of the 69-character line on a plain
//        connected socket; the far end is a server on 127.0.0.1 that answers "RE".
// The far end answers each frame, so every exchange has ended before the next send.
// Usage: link_send_latency_bench [sends]   (default 1000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QCoreApplication>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "bench/serial/bench_pty.h"
#include "link/code_table.h"
#include "link/commx_channel.h"
#include "link/controller_link.h"
#include "link/frames.h"
#include "link/link_ui.h"
#include "link/qt_comm_dispatcher.h"
#include "link/qt_tcp_channel.h"
#include "link/qt_tick_source.h"
#include "serial/commx.h"
#include "serial/port_table.h"

namespace kavro::bench {
namespace {

constexpr const char* kDataText = "200A000140400A8012014040A0000102030405112233445566778899AA";

// The window side, reduced to noticing a failure.
class QuietUi : public WindowlessUi {
 public:
  QuietUi() : WindowlessUi(LinkPage::kPad) {}
  void MsgOut(std::string_view text) override {
    if (!text.empty()) last = text;
  }
  void LearnData(std::string_view text) override { last = text; }
  std::string last;
};

// When the far end read the last byte of a frame: a sequence number and the time.
class ReadMark {
 public:
  void Mark() {
    at_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    seq_.fetch_add(1, std::memory_order_release);
  }
  int Seq() const { return seq_.load(std::memory_order_acquire); }
  Clock::time_point At() const {
    return Clock::time_point(Clock::duration(at_.load(std::memory_order_relaxed)));
  }

 private:
  std::atomic<Clock::rep> at_{0};
  std::atomic<int> seq_{0};
};

// ---------------------------------------------------------------- the far ends

// Reads the pty's master: skips the opening preamble, takes 30-byte frames starting 'S' and
// answers each with 'E' once its last byte is in.
class PtyController {
 public:
  explicit PtyController(Pty& pty) : pty_(pty) {
    thread_ = std::thread([this] { Run(); });
  }
  ~PtyController() {
    stop_ = true;
    thread_.join();
  }
  ReadMark mark;

 private:
  void Run() {
    PinToCore(0);
    int in_frame = 0;
    char buffer[256];
    while (!stop_) {
      pollfd p{pty_.master, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = read(pty_.master, buffer, sizeof buffer);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        if (in_frame == 0 && buffer[i] != 'S') continue;  // the preamble
        if (++in_frame < kIrSendFrameSize) continue;
        in_frame = 0;
        mark.Mark();
        WriteAll(pty_.master, "E", 1);
      }
    }
  }
  Pty& pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A server on 127.0.0.1: one connection after the other; answers each "RAVIZ S53" line with
// "RE" once its line end is in.
class TcpServer {
 public:
  TcpServer() {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_, 4) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~TcpServer() {
    stop_ = true;
    thread_.join();
    close(listen_);
  }
  int Port() const { return port_; }
  ReadMark mark;

 private:
  void Run() {
    PinToCore(0);
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int fd = accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      Serve(fd);
      close(fd);
    }
  }
  void Serve(int fd) {
    std::string line;
    char buffer[512];
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        line += buffer[i];
        if (buffer[i] != '\n') continue;
        if (line.starts_with("RAVIZ S53")) {
          mark.Mark();
          WriteAll(fd, "RE\r\n", 4);
        }
        line.clear();
      }
    }
  }
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// ---------------------------------------------------------------- the sides under test

// The link as the program wires it; `port_choice` 1 is COM1, 6 the TCP link.
struct LinkUnderTest {
  explicit LinkUnderTest(int port_choice, int tcp_port = 0) {
    link.SetPortChoice(port_choice);
    link.SetTcpHost("127.0.0.1");
    link.SetTcpPort(tcp_port);
  }
  ~LinkUnderTest() { link.CloseLink(); }

  // One send; the time from the call until the far end read the last byte.
  Clock::duration SendOnce(const ReadMark& mark) {
    const int before = mark.Seq();
    const Clock::time_point start = Clock::now();
    if (link.SendIrData(kDataText) != kSendStarted) throw std::runtime_error("send refused");
    while (link.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (mark.Seq() == before) throw std::runtime_error("no frame arrived: " + ui.last);
    return mark.At() - start;
  }

  QtCommDispatcher dispatcher;
  TCommX commx{dispatcher};
  CommxChannel serial{commx};
  QtTcpChannel tcp;
  QtTickSource ticks;
  CodeTable codes;
  QuietUi ui;
  ControllerLink link{ui, codes, serial, tcp, ticks};
};

std::vector<Clock::duration> LinkSends(LinkUnderTest& side, const ReadMark& mark, int sends) {
  for (int i = 0; i < 20; ++i) side.SendOnce(mark);  // opening, first connection, warm caches
  std::vector<Clock::duration> samples;
  for (int i = 0; i < sends; ++i) samples.push_back(side.SendOnce(mark));
  return samples;
}

// Bare writes of `bytes` on `fd`, each followed by reading the `reply_size` byte answer.
std::vector<Clock::duration> BareWrites(int fd, const std::string& bytes, size_t reply_size,
                                        const ReadMark& mark, int sends) {
  std::vector<Clock::duration> samples;
  char reply[16];
  for (int i = -20; i < sends; ++i) {
    const int before = mark.Seq();
    const Clock::time_point start = Clock::now();
    WriteAll(fd, bytes.data(), bytes.size());
    ReadAll(fd, reply, reply_size);
    if (mark.Seq() == before) throw std::runtime_error("no frame arrived (bare)");
    if (i >= 0) samples.push_back(mark.At() - start);
  }
  return samples;
}

std::string FrameBytes() {
  std::vector<unsigned char> block;
  for (size_t i = 0; i + 1 < std::strlen(kDataText); i += 2)
    block.push_back(
        static_cast<unsigned char>(std::stoi(std::string(kDataText + i, 2), nullptr, 16)));
  const Frame frame = IrSendFrame(block);
  return std::string(frame.begin(), frame.end());
}

struct Figures {
  double median;
  double p99;
};

Figures Summarize(const std::vector<Clock::duration>& samples) {
  return {QuantileMicros(samples, 0.5), QuantileMicros(samples, 0.99)};
}

void Report(const char* channel, const std::string& bare_what, Figures bare, Figures link) {
  const std::string bare_label = "bare write of " + bare_what;
  std::printf("%-4s %-34s median %8.1f us   p99 %8.1f us\n", channel, bare_label.c_str(),
              bare.median, bare.p99);
  std::printf("%-4s %-34s median %8.1f us   p99 %8.1f us\n", channel, "link SendIrData",
              link.median, link.p99);
  std::printf(
      "%-4s link - bare: median %+.1f us (%.2fx), p99 %+.1f us (%.2fx); "
      "aim (median within 1 ms): %s\n",
      channel, link.median - bare.median, link.median / bare.median, link.p99 - bare.p99,
      link.p99 / bare.p99, link.median - bare.median <= 1000.0 ? "met" : "MISSED");
}

int Main(int sends) {
  PinToCore(1);
  const std::string frame = FrameBytes();
  std::printf("Controller link send latency, %d sends per row (the far end on its own core)\n",
              sends);

  {
    Pty pty;
    PtyController controller(pty);
    const int fd = OpenRaw(pty.path);
    const Figures bare = Summarize(BareWrites(fd, frame, 1, controller.mark, sends));
    close(fd);
    PortTable::Set(1, pty.path);
    LinkUnderTest side(1);
    const Figures link = Summarize(LinkSends(side, controller.mark, sends));
    Report("pty", "the 30-byte frame", bare, link);
  }
  {
    TcpServer server;
    const std::optional<std::string> line = FrameToLine(std::span<const unsigned char>(
        reinterpret_cast<const unsigned char*>(frame.data()), frame.size()));
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(server.Port()));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect");
    const Figures bare = Summarize(BareWrites(fd, *line, 4, server.mark, sends));
    close(fd);
    LinkUnderTest side(kTcpPort, server.Port());
    const Figures link = Summarize(LinkSends(side, server.mark, sends));
    Report("tcp", "the 69-char line", bare, link);
  }
  return 0;
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int sends = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  try {
    return kavro::bench::Main(sends);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "link_send_latency_bench: %s\n", e.what());
    return 1;
  }
}
