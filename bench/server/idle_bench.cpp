// kavro-server at rest: its CPU time over a quiet period and its resident memory, each against
// the same server just started (no clients), in one run.
//   CPU: utime + stime of /proc/<pid>/stat over the period (in clock ticks, so 10 ms steps), and
//        the threads' time on the CPU and number of times they ran from their schedstat (in
//        nanoseconds), with the controller's port open; first with no clients, then with two
//        idle ones (a line-protocol connection and an HTTP keep-alive connection that has made
//        one request), then with every connection below.
//   memory: VmRSS with no clients, with 64 idle line-protocol connections, and with 64 HTTP
//        keep-alive connections (each after one request) on top.
// The controller is a pty whose master nobody answers from: an idle server sends nothing.
// Usage: server_idle_bench [seconds]   (default 10; at most 25, as HTTP connections idle for
//        30 s are closed by the server)
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/server_child.h"

namespace kavro::bench {
namespace {

constexpr int kConnections = 64;

struct IdleCost {
  double stat_ms = 0;  // utime + stime
  double run_ms = 0;   // schedstat
  long long runs = 0;  // times a thread was put on the CPU
};

IdleCost MeasureIdle(pid_t pid, int seconds) {
  const long long ticks = ProcessTicks(pid);
  const RunTime run = ProcessRunTime(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const RunTime after = ProcessRunTime(pid);
  return {TicksToMillis(ProcessTicks(pid) - ticks), (after.nanoseconds - run.nanoseconds) / 1e6,
          after.wakeups - run.wakeups};
}

void CpuRow(const char* what, IdleCost cost, int seconds) {
  std::printf("%-44s utime+stime %6.1f ms   on CPU %7.3f ms   runs %5lld (%.1f/s)\n", what,
              cost.stat_ms, cost.run_ms, cost.runs, static_cast<double>(cost.runs) / seconds);
}

void MemoryRow(const char* what, pid_t pid, long long base_kb) {
  const long long kb = StatusKilobytes(pid, "VmRSS");
  std::printf("%-44s VmRSS %7.1f MB", what, kb / 1024.0);
  if (base_kb > 0)
    std::printf("   %+.1f MB (%.2fx)", (kb - base_kb) / 1024.0, static_cast<double>(kb) / base_kb);
  std::printf("\n");
}

// Checks that the idle clients are still served (nothing closed them meanwhile).
void CheckAlive(LineClient& line, HttpClient& http) {
  line.Send("RAVIZ ?\r\n");
  if (const std::string answer = line.Answer(); answer != "ERROR unknown command")
    throw std::runtime_error("line connection answered \"" + answer + "\"");
  if (const HttpClient::Response answer = http.Ask("GET", "/api/v1/status"); answer.status != 200)
    throw std::runtime_error("GET /api/v1/status: " + std::to_string(answer.status));
}

int Main(int seconds) {
  TempFolder folder;
  Pty controller;
  ServerChild server(folder.Path(), controller.path);
  const pid_t pid = server.Pid();
  // Let it open the port and settle.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  {
    HttpClient probe(server.HttpPort(), server.Token());
    const HttpClient::Response status = probe.Ask("GET", "/api/v1/status");
    if (status.body.find("\"online\":true") == std::string::npos)
      throw std::runtime_error("the server is not online: " + status.body);
  }
  std::printf("kavro-server idle, %d s per row, the controller's port open\n", seconds);

  CpuRow("no clients (baseline)", MeasureIdle(pid, seconds), seconds);
  {
    LineClient line(server.LinePort());
    HttpClient http(server.HttpPort(), server.Token());
    http.Ask("GET", "/api/v1/status");
    const IdleCost two = MeasureIdle(pid, seconds);
    CheckAlive(line, http);
    CpuRow("two idle clients (line, HTTP keep-alive)", two, seconds);
    std::printf("aim (two idle clients, under 10 ms in 10 s): %s\n",
                two.stat_ms * 10.0 / seconds < 10.0 ? "met" : "MISSED");
  }
  // Closed connections go once the server has seen them close.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const long long base_kb = StatusKilobytes(pid, "VmRSS");
  MemoryRow("no clients (baseline)", pid, 0);
  std::vector<std::unique_ptr<LineClient>> lines;
  for (int i = 0; i < kConnections; ++i)
    lines.push_back(std::make_unique<LineClient>(server.LinePort()));
  // One answer on the last connection: every connection before it has been taken in.
  lines.back()->Send("RAVIZ ?\r\n");
  if (const std::string answer = lines.back()->Answer(); answer != "ERROR unknown command")
    throw std::runtime_error("line connection 64 answered \"" + answer + "\"");
  MemoryRow("64 line connections", pid, base_kb);
  std::vector<std::unique_ptr<HttpClient>> https;
  for (int i = 0; i < kConnections; ++i) {
    https.push_back(std::make_unique<HttpClient>(server.HttpPort(), server.Token()));
    if (const HttpClient::Response answer = https.back()->Ask("GET", "/api/v1/status");
        answer.status != 200)
      throw std::runtime_error("HTTP connection " + std::to_string(i + 1) + ": " +
                               std::to_string(answer.status) + " " + answer.body);
  }
  MemoryRow("64 line + 64 HTTP keep-alive connections", pid, base_kb);
  const long long kb = StatusKilobytes(pid, "VmRSS");
  std::printf("peak (VmHWM) %.1f MB; aim (under 40 MB): %s\n",
              StatusKilobytes(pid, "VmHWM") / 1024.0, kb < 40 * 1024 ? "met" : "MISSED");

  const IdleCost all = MeasureIdle(pid, seconds);
  CheckAlive(*lines.front(), *https.front());
  CpuRow("128 idle connections", all, seconds);
  return 0;
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 25) : 10;
  try {
    return kavro::bench::Main(seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "server_idle_bench: %s\n", e.what());
    return 1;
  }
}
