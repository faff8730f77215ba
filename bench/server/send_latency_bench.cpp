// Send latency through kavro-server against the same send without it, measured in one run.
//   http: POST /api/v1/send on a kept-alive connection until the controller has read the last
//         byte of the 30-byte IR send frame, against ControllerStack's SendIrData in this process
//         on a pty of its own. The controller is played by a thread reading each pty's master
//         that answers 'E' to every frame.
//   line: a "RAVIZ S53" line to the server's line port until its "RE" is back, against the same
//         line to kavro-sim --tcp, which answers "RE" itself.
// The two ways of a row alternate in blocks of 10 sends, so a busy moment of the machine falls on
// both. The controller (and kavro-sim) run on core 0; the server, the link and the clients on
// core 1.
// Usage: server_send_latency_bench [sends]   (default 200)
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/server_child.h"
#include "link/controller_stack.h"
#include "link/frames.h"
#include "link/link_ui.h"
#include "serial/port_table.h"

namespace kavro::bench {
namespace {

constexpr const char* kDataText = "200A000140400A8012014040A0000102030405112233445566778899AA";
constexpr int kWarmUp = 20;
constexpr int kBlock = 10;

// The window side, reduced to noticing a failure.
class QuietUi : public WindowlessUi {
 public:
  QuietUi() : WindowlessUi(LinkPage::kPad) {}
  void MsgOut(std::string_view text) override {
    if (!text.empty()) last = text;
  }
  void LearnData(std::string_view) override {}
  std::string last;
};

// The controller on a pty's master: skips the preamble, notes the time at which the last byte
// of each IR send frame is in and answers 'E'.
class PtyController {
 public:
  PtyController() : thread_([this] { Run(); }) {}
  ~PtyController() {
    stop_ = true;
    thread_.join();
  }
  const std::string& Device() const { return pty_.path; }
  int Frames() const { return frames_.load(std::memory_order_acquire); }
  Clock::time_point LastFrameAt() const {
    return Clock::time_point(Clock::duration(at_.load(std::memory_order_relaxed)));
  }

 private:
  void Run() {
    PinToCore(0);
    int in_frame = 0;
    char buffer[256];
    while (!stop_) {
      pollfd p{pty_.master, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = read(pty_.master, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        if (in_frame == 0 && buffer[i] != 'S') continue;
        if (++in_frame < kIrSendFrameSize) continue;
        in_frame = 0;
        at_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        frames_.fetch_add(1, std::memory_order_release);
        WriteAll(pty_.master, "E", 1);
      }
    }
  }

  Pty pty_;
  std::atomic<Clock::rep> at_{0};
  std::atomic<int> frames_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: starts once the rest is there
};

// One timed send: until the frame was read at the pty (zero where nothing watches the pty) and
// until the sender had its answer.
struct Sample {
  Clock::duration frame{};
  Clock::duration answer{};
};
using Way = std::function<Sample()>;

Sample Timed(PtyController* controller, const std::function<void()>& send_and_wait) {
  const int before = controller ? controller->Frames() : 0;
  const Clock::time_point start = Clock::now();
  send_and_wait();
  const Clock::time_point end = Clock::now();
  if (controller && controller->Frames() == before)
    throw std::runtime_error("the answer came but no frame reached the pty");
  return {controller ? controller->LastFrameAt() - start : Clock::duration{}, end - start};
}

// `sends` samples of each way, taken in alternating blocks after a warm-up of each.
std::vector<std::vector<Sample>> Alternate(const std::vector<Way>& ways, int sends) {
  for (const Way& way : ways)
    for (int i = 0; i < kWarmUp; ++i) way();
  std::vector<std::vector<Sample>> samples(ways.size());
  for (int done = 0; done < sends; done += kBlock)
    for (std::size_t w = 0; w < ways.size(); ++w)
      for (int i = done; i < std::min(sends, done + kBlock); ++i) samples[w].push_back(ways[w]());
  return samples;
}

struct Figures {
  double median;
  double p99;
};

Figures Summarize(const std::vector<Sample>& samples, Clock::duration Sample::*part) {
  std::vector<Clock::duration> values;
  for (const Sample& sample : samples) values.push_back(sample.*part);
  return {QuantileMicros(values, 0.5), QuantileMicros(values, 0.99)};
}

void Row(const char* channel, const char* what, Figures figures) {
  std::printf("%-4s %-52s median %8.1f us   p99 %8.1f us\n", channel, what, figures.median,
              figures.p99);
}

void Difference(const char* channel, Figures base, Figures server) {
  std::printf(
      "%-4s server - baseline: median %+.1f us (%.2fx), p99 %+.1f us (%.2fx); "
      "aim (median within 1 ms): %s\n",
      channel, server.median - base.median, server.median / base.median, server.p99 - base.p99,
      server.p99 / base.p99, server.median - base.median <= 1000.0 ? "met" : "MISSED");
}

int Main(int sends) {
  PinToCore(1);
  std::printf(
      "kavro-server send latency, %d sends per way, alternating in blocks of %d (controller on "
      "core 0)\n",
      sends, kBlock);
  TempFolder folder;
  const std::string json_body = std::string("{\"data\":\"") + kDataText + "\"}";
  const std::string line = std::string("RAVIZ S53") + kDataText + "\r\n";

  PtyController direct_controller;
  QuietUi ui;
  ControllerStack stack(ui);
  PortTable::Set(1, direct_controller.Device());
  stack.Link().SetPortChoice(1);
  ExchangeEnd::Kind end = ExchangeEnd::Kind::kDone;
  stack.Link().SetEndObserver([&end](const ExchangeEnd& ended) { end = ended.kind; });
  const Way direct = [&] {
    return Timed(&direct_controller, [&] {
      end = ExchangeEnd::Kind::kTimeout;  // until the link says how it ended
      if (stack.Link().SendIrData(kDataText) != kSendStarted)
        throw std::runtime_error("SendIrData refused: " + ui.last);
      while (stack.Link().Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (end != ExchangeEnd::Kind::kDone) throw std::runtime_error("the link said: " + ui.last);
    });
  };

  PtyController server_controller;
  ServerChild server(folder.Path(), server_controller.Device());
  HttpClient http(server.HttpPort(), server.Token());
  const Way over_http = [&] {
    return Timed(&server_controller, [&] {
      http.Send("POST", "/api/v1/send", json_body);
      const HttpClient::Response response = http.Read();
      if (response.status != 200)
        throw std::runtime_error("POST /api/v1/send: " + std::to_string(response.status) + " " +
                                 response.body);
    });
  };

  const std::vector<std::vector<Sample>> http_rows = Alternate({direct, over_http}, sends);
  const Figures direct_frame = Summarize(http_rows[0], &Sample::frame);
  const Figures http_frame = Summarize(http_rows[1], &Sample::frame);
  Row("http", "SendIrData -> frame read at the pty (baseline)", direct_frame);
  Row("http", "POST /api/v1/send -> frame read at the pty", http_frame);
  Difference("http", direct_frame, http_frame);
  const Figures direct_answer = Summarize(http_rows[0], &Sample::answer);
  const Figures http_answer = Summarize(http_rows[1], &Sample::answer);
  Row("http", "SendIrData -> exchange ended on 'E' (baseline)", direct_answer);
  Row("http", "POST /api/v1/send -> 200 answer read", http_answer);
  Difference("http", direct_answer, http_answer);

  ChildProcess sim({ProgramBeside("kavro-sim"), "--tcp", "127.0.0.1:0", "--log", "/dev/null"},
                   folder.Path() + "/sim.log", 0);
  const std::string sim_address = sim.ReadLine();
  LineClient to_sim(std::atoi(sim_address.c_str() + sim_address.rfind(':') + 1));
  LineClient to_server(server.LinePort());
  auto line_send = [&line](LineClient& client, const char* who) {
    client.Send(line);
    if (const std::string answer = client.Answer(); answer != "RE")
      throw std::runtime_error(std::string(who) + " answered \"" + answer + "\"");
  };
  const Way via_sim = [&] { return Timed(nullptr, [&] { line_send(to_sim, "kavro-sim"); }); };
  const Way via_server = [&] {
    return Timed(&server_controller, [&] { line_send(to_server, "kavro-server"); });
  };

  const std::vector<std::vector<Sample>> line_rows = Alternate({via_sim, via_server}, sends);
  const Figures sim_answer = Summarize(line_rows[0], &Sample::answer);
  const Figures server_answer = Summarize(line_rows[1], &Sample::answer);
  Row("line", "kavro-sim --tcp: line -> RE read (baseline)", sim_answer);
  Row("line", "kavro-server: line -> RE read", server_answer);
  Difference("line", sim_answer, server_answer);
  Row("line", "kavro-server: line -> frame read at the pty",
      Summarize(line_rows[1], &Sample::frame));
  return 0;
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int sends = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  try {
    return kavro::bench::Main(sends);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "server_send_latency_bench: %s\n", e.what());
    return 1;
  }
}
