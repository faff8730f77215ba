// Home Assistant discovery of 1,000 named codes through kavro-server, against the broker alone
// carrying the same messages, in one run; and what watching the data file for changed configs
// costs the server at rest.
//   start: from the server's fork, and from its "mqtt connected" line, until the 1,000 button
//          configs and the sensor's have arrived at a subscriber (QoS 0, as Home Assistant
//          subscribes), each checked for its name.
//   again: "online" published on <prefix>/status until all 1,001 have arrived once more.
//   baseline: a client of the bench's own connects and publishes the same 1,001 retained
//          payloads at QoS 1, as the server does, until the subscriber has them all.
// Each run has a discovery prefix of its own, so no retained config of an earlier run counts.
//   idle: the CPU time of the server with MQTT on and the 1,000 codes, against the same server
//          without --mqtt on the same codes, both measured over the same seconds.
// Usage: server_discovery_bench [runs] [idle seconds]   (default 5 and 10)
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/mqtt_child.h"
#include "bench/server/server_child.h"

namespace kavro::bench {
namespace {

constexpr int kCodes = 1000;
constexpr int kFirst = 1000;  // codes 1000..1999
constexpr int kConfigs = kCodes + 1;
constexpr const char* kDataText = "200A000140400A8012014040A0000102030405112233445566778899AA";
// "テレビ " in Shift-JIS: the names go through the server's text conversion on their way.
constexpr const char* kSjisName = "\x83\x65\x83\x8C\x83\x72 ";
constexpr const char* kUtf8Name = "\xE3\x83\x86\xE3\x83\xAC\xE3\x83\x93 ";

std::string Codes() {
  std::string out;
  char number[8];
  for (int n = kFirst; n < kFirst + kCodes; ++n) {
    std::snprintf(number, sizeof number, "%04d", n);
    out += std::string(number) + "=" + kDataText + " " + kSjisName + std::to_string(n) + "\r\n";
  }
  return out;
}

// Takes messages from `subscriber` until every config under `prefix` has arrived (again, when
// `seen` already holds them); returns the time the last one came, with the payloads in `seen`.
Clock::time_point AwaitConfigs(MqttClient& subscriber, const std::string& prefix,
                               std::map<std::string, std::string>& seen) {
  std::map<std::string, bool> fresh;
  Clock::time_point last{};
  while (static_cast<int>(fresh.size()) < kConfigs) {
    for (MqttClient::Message& message : subscriber.Take()) {
      if (!message.topic.starts_with(prefix + "/") || !message.topic.ends_with("/config")) continue;
      if (message.payload.empty()) throw std::runtime_error("emptied: " + message.topic);
      fresh[message.topic] = true;
      seen[message.topic] = std::move(message.payload);
      last = message.at;
    }
  }
  return last;
}

// Every button config names its code as the data file does.
void CheckNames(const std::map<std::string, std::string>& seen, const std::string& prefix) {
  for (int n = kFirst; n < kFirst + kCodes; ++n) {
    const std::string topic = prefix + "/button/kavro_bench_" + std::to_string(n) + "/config";
    const auto config = seen.find(topic);
    const std::string name = std::string("\"name\":\"") + kUtf8Name + std::to_string(n) + "\"";
    if (config == seen.end() || config->second.find(name) == std::string::npos)
      throw std::runtime_error(topic + " is missing or misnamed");
  }
}

struct Run {
  Clock::duration connected;   // fork -> "mqtt connected" read
  Clock::duration from_start;  // fork -> all configs in
  Clock::duration from_connected;
  Clock::duration again;     // "online" on <prefix>/status -> all configs in again
  Clock::duration baseline;  // the bench's own publisher, connect -> all in
};

Run OneRun(int k, const std::string& folder, const std::string& device, int port) {
  Run run{};
  const std::string prefix = "bench" + std::to_string(k);
  MqttClient subscriber(port, "bench-subscriber", true);
  subscriber.Subscribe(prefix + "/#", 0);
  std::map<std::string, std::string> seen;
  {
    ServerChild server(folder, device, -1,
                       {"--mqtt", "127.0.0.1:" + std::to_string(port), "--node", "bench",
                        "--discovery-prefix", prefix},
                       Codes());
    const std::string line = server.ReadLine();
    const Clock::time_point connected = Clock::now();
    if (!line.starts_with("mqtt connected "))
      throw std::runtime_error("kavro-server said \"" + line + "\"");
    const Clock::time_point all_in = AwaitConfigs(subscriber, prefix, seen);
    CheckNames(seen, prefix);
    run.connected = connected - server.StartedAt();
    run.from_start = all_in - server.StartedAt();
    run.from_connected = all_in - connected;

    MqttClient home_assistant(port, "bench-home-assistant", false);
    const Clock::time_point asked = Clock::now();
    home_assistant.Publish(prefix + "/status", "online");
    run.again = AwaitConfigs(subscriber, prefix, seen) - asked;
  }

  // The same payloads under a prefix of their own, from the bench.
  const std::string base_prefix = "base" + std::to_string(k);
  subscriber.Subscribe(base_prefix + "/#", 0);
  const Clock::time_point start = Clock::now();
  MqttClient publisher(port, "bench-publisher", true, false);
  for (const auto& [topic, payload] : seen)
    publisher.Publish(base_prefix + topic.substr(prefix.size()), payload, 1, true);
  std::map<std::string, std::string> copies;
  run.baseline = AwaitConfigs(subscriber, base_prefix, copies) - start;
  return run;
}

double Median(const std::vector<Run>& runs, Clock::duration Run::*part) {
  std::vector<Clock::duration> values;
  for (const Run& run : runs) values.push_back(run.*part);
  return QuantileMicros(values, 0.5) / 1000.0;
}

void Row(const char* what, const std::vector<Run>& runs, Clock::duration Run::*part) {
  Clock::duration longest{};
  for (const Run& run : runs) longest = std::max(longest, run.*part);
  std::printf("%-58s median %7.1f ms   max %7.1f ms\n", what, Median(runs, part),
              std::chrono::duration<double, std::milli>(longest).count());
}

void IdlePart(int seconds, const std::string& folder, int port) {
  const std::string with_folder = folder + "/idle-mqtt", without_folder = folder + "/idle-plain";
  std::filesystem::create_directory(with_folder);
  std::filesystem::create_directory(without_folder);
  Pty with_controller, without_controller;  // nobody answers: an idle server sends nothing
  ServerChild with(with_folder, with_controller.path, -1,
                   {"--mqtt", "127.0.0.1:" + std::to_string(port), "--node", "idle",
                    "--discovery-prefix", "idle"},
                   Codes());
  ServerChild without(without_folder, without_controller.path, -1, {}, Codes());
  with.ReadLine();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // let both open their ports and settle
  const RunTime with_before = ProcessRunTime(with.Pid()),
                without_before = ProcessRunTime(without.Pid());
  const long long with_ticks = ProcessTicks(with.Pid()),
                  without_ticks = ProcessTicks(without.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const RunTime with_after = ProcessRunTime(with.Pid()),
                without_after = ProcessRunTime(without.Pid());
  auto row = [seconds](const char* what, long long ticks, RunTime before, RunTime after) {
    std::printf("%-58s utime+stime %6.1f ms   on CPU %7.3f ms   runs %5lld (%.1f/s)\n", what,
                TicksToMillis(ticks), (after.nanoseconds - before.nanoseconds) / 1e6,
                after.wakeups - before.wakeups,
                static_cast<double>(after.wakeups - before.wakeups) / seconds);
  };
  std::printf("idle, %d s, 1,000 named codes, both servers at once:\n", seconds);
  row("without --mqtt (baseline)", ProcessTicks(without.Pid()) - without_ticks, without_before,
      without_after);
  row("with --mqtt, discovery on", ProcessTicks(with.Pid()) - with_ticks, with_before, with_after);
}

int Main(int runs, int idle_seconds) {
  const std::optional<std::string> program = FindBroker();
  if (!program)
    throw std::runtime_error("no mosquitto broker installed (apt-get install mosquitto)");
  TempFolder folder;
  Broker broker(*program, folder.Path());
  Pty controller;  // the server opens it; discovery needs no answers
  std::printf("kavro-server discovery of %d named codes, %d runs (%s)\n", kCodes, runs,
              program->c_str());
  std::vector<Run> all;
  for (int k = 0; k < runs; ++k)
    all.push_back(OneRun(k, folder.Path(), controller.path, broker.Port()));
  Row("broker alone: connect, publish 1,001 -> all in (baseline)", all, &Run::baseline);
  Row("server: fork -> \"mqtt connected\"", all, &Run::connected);
  Row("server: fork -> all 1,001 configs in", all, &Run::from_start);
  Row("server: \"mqtt connected\" -> all 1,001 configs in", all, &Run::from_connected);
  Row("server: \"online\" on <prefix>/status -> all 1,001 in again", all, &Run::again);
  const double base = Median(all, &Run::baseline), start = Median(all, &Run::from_start),
               connected = Median(all, &Run::from_connected);
  std::printf(
      "server (from \"mqtt connected\") - baseline: median %+.1f ms (%.2fx); aim (all in within "
      "1 s of the start): %s\n",
      connected - base, connected / base, start <= 1000.0 ? "met" : "MISSED");
  if (idle_seconds > 0) IdlePart(idle_seconds, folder.Path(), broker.Port());
  return 0;
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 100) : 5;
  const int idle_seconds = argc > 2 ? std::clamp(std::atoi(argv[2]), 0, 60) : 10;
  try {
    return kavro::bench::Main(runs, idle_seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "server_discovery_bench: %s\n", e.what());
    return 1;
  }
}
