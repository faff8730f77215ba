// Throughput: 16 MB sent through one port to a reader on the pseudo-terminal's other end.
//   plain write() loop on the slave (the upper bound), TransBlock, Qt's serial port class.
// Every way runs once per round on a fresh pseudo-terminal; medians and best runs are shown.
// Usage: serial_throughput_bench [megabytes] [rounds]
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "bench/serial/bench_pty.h"
#include "serial/commx.h"
#include "serial/plain_dispatcher.h"
#include "serial/port_table.h"

#ifdef KAVRO_BENCH_QT
#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>
#endif

namespace kavro::bench {
namespace {

// Gets the bytes under way to the slave; must not close the port before done() holds, since
// closing purges what the reader has not taken yet.
using Sender = std::function<void(Pty&, const std::string&, const std::function<bool()>& done)>;

std::string Payload(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 131 + (i >> 9));
  return s;
}

// Runs `send` (which must get `total` bytes under way to the slave) against a reader on the
// master; the time until the reader has everything.
double TimeOne(size_t total, const Sender& send, const std::string& payload) {
  Pty pty;
  std::atomic<bool> done{false};
  std::atomic<bool> intact{true};
  Clock::time_point end;
  std::thread reader([&] {
    PinToCore(0);
    std::vector<char> buf(65536);
    size_t got = 0;
    while (got < total) {
      const ssize_t n = read(pty.master, buf.data(), buf.size());
      if (n <= 0) break;
      if (std::memcmp(buf.data(), payload.data() + got, static_cast<size_t>(n)) != 0) {
        intact = false;
      }
      got += static_cast<size_t>(n);
    }
    end = Clock::now();
    done = true;
  });
  const auto start = Clock::now();
  send(pty, payload, [&] { return done.load(); });
  reader.join();
  if (!intact) std::fprintf(stderr, "data arrived damaged\n");
  return Seconds(end - start);
}

void PlainLoop(Pty& pty, const std::string& data, size_t chunk) {
  const int fd = OpenRaw(pty.path);
  for (size_t at = 0; at < data.size(); at += chunk) {
    WriteAll(fd, data.data() + at, std::min(chunk, data.size() - at));
  }
  close(fd);  // closing a pty slave does not purge
}

void ThroughTransBlock(Pty& pty, const std::string& data, const std::function<bool()>& done,
                       int32_t blockSize) {
  PlainDispatcher dispatcher;
  TCommX comm(dispatcher);
  PortTable::Set(1, pty.path);
  comm.SetBufLenTrans(blockSize);
  comm.PortOpen();
  const size_t call = 65536;  // what one caller hands over at a time
  for (size_t at = 0; at < data.size(); at += call) {
    const auto n = static_cast<int32_t>(std::min(call, data.size() - at));
    comm.TransBlock(reinterpret_cast<const uint8_t*>(data.data() + at), n);
  }
  dispatcher.RunUntil(done, std::chrono::milliseconds(60000));
}

#ifdef KAVRO_BENCH_QT
void ThroughQSerialPort(Pty& pty, const std::string& data, const std::function<bool()>& done) {
  QSerialPort port;
  port.setPortName(QString::fromStdString(pty.path));
  if (!port.open(QIODevice::ReadWrite)) {
    std::fprintf(stderr, "QSerialPort: %s\n", port.errorString().toLocal8Bit().constData());
    return;
  }
  port.setBaudRate(9600);
  port.setFlowControl(QSerialPort::HardwareControl);
  port.write(data.data(), static_cast<qint64>(data.size()));
  // Sleeps between events; the port's own write notifications and a short timer wake it.
  QTimer tick;
  tick.start(5);
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
#endif

struct Way {
  const char* name;
  Sender send;
  std::vector<double> seconds;
  double Median() const {
    std::vector<double> v = seconds;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
  double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
};

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  using namespace kavro::bench;
#ifdef KAVRO_BENCH_QT
  QCoreApplication app(argc, argv);
#endif
  const size_t total = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16) * 1024 * 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::string payload = Payload(total);
  PinToCore(1);

  std::vector<Way> ways = {
      {"plain write() loop, 2048-byte writes",
       [](Pty& p, const std::string& d, auto&) { PlainLoop(p, d, 2048); },
       {}},
      {"plain write() loop, 64 KB writes",
       [](Pty& p, const std::string& d, auto&) { PlainLoop(p, d, 65536); },
       {}},
      {"TransBlock, BufLenTrans 2048 (default)",
       [](Pty& p, const std::string& d, auto& done) { ThroughTransBlock(p, d, done, 2048); },
       {}},
      {"TransBlock, BufLenTrans 65536",
       [](Pty& p, const std::string& d, auto& done) { ThroughTransBlock(p, d, done, 65536); },
       {}},
#ifdef KAVRO_BENCH_QT
      {"QSerialPort::write",
       [](Pty& p, const std::string& d, auto& done) { ThroughQSerialPort(p, d, done); },
       {}},
#endif
  };
  // Round by round, so that every way meets the same changes of machine load.
  for (int round = 0; round < rounds; ++round) {
    for (Way& way : ways) way.seconds.push_back(TimeOne(total, way.send, payload));
  }

  std::printf("serial throughput: %zu bytes to a reader on the pty master, %d rounds\n", total,
              rounds);
  std::printf("ratios: median against the median of the plain loop with 2048-byte writes\n");
  const double base = ways[0].Median();
  for (const Way& way : ways) {
    std::printf("  %-40s median %7.1f MB/s  best %7.1f MB/s  ratio %.2f\n", way.name,
                total / way.Median() / 1e6, total / way.Best() / 1e6, base / way.Median());
  }
#ifdef KAVRO_BENCH_QT
  std::printf("TransBlock (default) against QSerialPort, medians: %.2f\n",
              ways[4].Median() / ways[2].Median());
#endif
  return 0;
}
