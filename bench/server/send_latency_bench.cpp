// Send latency through kavro-server against the same send without it, measured in one run.
//   http: POST /api/v1/send on a kept-alive connection until the controller has read the last
//         byte of the 30-byte IR send frame, against ControllerStack's SendIrData in this process
//         on a pty of its own. The controller is played by a thread reading each pty's master
//         that answers 'E' to every frame.
//   line: a "RAVIZ S53" line to the server's line port until its "RE" is back, against the same
//         line to kavro-sim --tcp, which answers "RE" itself.
//   mqtt: with a mosquitto broker of the bench's own, "PRESS" published on B/code/<n>/send (QoS
//         0, as a Home Assistant button does) until the frame is read at the pty and until the
//         "sent" event is back on B/event, against POST /api/v1/codes/<n>/send to the same
//         server (MQTT on for both: every send publishes its event).
//         Three times: with the broker's defaults, the same with 100 ms before each send, and
//         with the broker's set_tcp_nodelay on.
// The two ways of a row alternate in blocks of 10 sends, so a busy moment of the machine falls on
// both. The controller (and kavro-sim) run on core 0; the server, the link, the broker and the
// clients on core 1.
// Usage: server_send_latency_bench [sends]   (default 200)
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/mqtt_child.h"
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
  std::printf("%-4s %-58s median %8.1f us   p99 %8.1f us\n", channel, what, figures.median,
              figures.p99);
}

// `both`: the aim holds for the 99th percentile too.
void Difference(const char* channel, Figures base, Figures server, bool both = false) {
  const bool met =
      server.median - base.median <= 1000.0 && (!both || server.p99 - base.p99 <= 1000.0);
  std::printf(
      "%-4s server - baseline: median %+.1f us (%.2fx), p99 %+.1f us (%.2fx); "
      "aim (%s within 1 ms): %s\n",
      channel, server.median - base.median, server.median / base.median, server.p99 - base.p99,
      server.p99 / base.p99, both ? "median and p99" : "median", met ? "met" : "MISSED");
}

// How the broker and the sender are set up for one MQTT comparison.
struct MqttSetup {
  const char* what;
  const char* broker_config;        // lines added to the broker's configuration
  std::chrono::milliseconds pause;  // untimed, before every send of both ways
};

// The same code sent by a publish on B/code/<n>/send and by POST /api/v1/codes/<n>/send, to one
// server with MQTT on; each way waits for the send's event, so none is left for the next.
void MqttPart(int sends, const std::string& folder, const std::string& program,
              const MqttSetup& setup) {
  constexpr int kNumber = 115;
  Broker broker(program, folder, setup.broker_config);
  PtyController controller;
  std::string codes = "0115=";
  codes += std::string(kDataText) + " TV power\r\n";
  ServerChild server(folder, controller.Device(), -1,
                     {"--mqtt", "127.0.0.1:" + std::to_string(broker.Port()), "--node", "bench"},
                     codes);
  if (const std::string line = server.ReadLine(); !line.starts_with("mqtt connected "))
    throw std::runtime_error("kavro-server said \"" + line + "\"");
  MqttClient mqtt(broker.Port(), "bench-publisher", false);
  mqtt.Subscribe("kavro/bench/event", 0);
  auto await_sent = [&mqtt] {
    for (;;) {
      for (const MqttClient::Message& message : mqtt.Take()) {
        if (message.payload.starts_with("{\"type\":\"sent\",\"number\":115,")) return;
        throw std::runtime_error("unexpected event: " + message.payload);
      }
    }
  };
  // The server comes online on its own time: wait for a send to get through first.
  HttpClient http(server.HttpPort(), server.Token());
  const std::string path = "/api/v1/codes/" + std::to_string(kNumber) + "/send";
  for (int tries = 0; http.Ask("POST", path).status != 200; ++tries) {
    if (tries == 50) throw std::runtime_error("the server did not come online");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  await_sent();
  const Way over_http = [&] {
    std::this_thread::sleep_for(setup.pause);
    const Sample sample = Timed(&controller, [&] {
      const HttpClient::Response response = http.Ask("POST", path);
      if (response.status != 200)
        throw std::runtime_error("POST " + path + ": " + std::to_string(response.status) + " " +
                                 response.body);
    });
    await_sent();
    return sample;
  };
  const std::string topic = "kavro/bench/code/" + std::to_string(kNumber) + "/send";
  const Way over_mqtt = [&] {
    std::this_thread::sleep_for(setup.pause);
    return Timed(&controller, [&] {
      mqtt.Publish(topic, "PRESS");
      await_sent();
    });
  };

  std::printf("mqtt %s\n", setup.what);
  const std::vector<std::vector<Sample>> rows = Alternate({over_http, over_mqtt}, sends);
  const Figures http_frame = Summarize(rows[0], &Sample::frame);
  const Figures mqtt_frame = Summarize(rows[1], &Sample::frame);
  Row("mqtt", "POST /api/v1/codes/115/send -> frame at the pty (baseline)", http_frame);
  Row("mqtt", "publish code/115/send -> frame read at the pty", mqtt_frame);
  Difference("mqtt", http_frame, mqtt_frame, true);
  Row("mqtt", "POST /api/v1/codes/115/send -> 200 answer read",
      Summarize(rows[0], &Sample::answer));
  Row("mqtt", "publish code/115/send -> \"sent\" event read", Summarize(rows[1], &Sample::answer));
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
  const std::optional<std::string> program = FindBroker();
  if (!program) {
    std::printf("mqtt skipped: no mosquitto broker installed\n");
    return 0;
  }
  // The broker keeps Nagle's algorithm on its connections by default: a command it forwards
  // while its last write to the server (such as the PUBACK of an event published at QoS 1) is
  // not yet acknowledged waits for the server's delayed ACK, up to 40 ms. Hence the sends with a
  // pause, and a broker without Nagle.
  const MqttSetup setups[] = {
      {"mosquitto's defaults, sends back to back", "", std::chrono::milliseconds(0)},
      {"mosquitto's defaults, 100 ms before each send", "", std::chrono::milliseconds(100)},
      {"mosquitto with set_tcp_nodelay true, sends back to back", "set_tcp_nodelay true\n",
       std::chrono::milliseconds(0)},
  };
  for (std::size_t i = 0; i < std::size(setups); ++i) {
    // A folder of its own: the first server still runs on the data file in `folder`.
    const std::string own = folder.Path() + "/mqtt" + std::to_string(i);
    std::filesystem::create_directory(own);
    MqttPart(sends, own, *program, setups[i]);
  }
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
