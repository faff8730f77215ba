// Receive latency: a device thread on the pseudo-terminal's master writes a message of 1 or 16
// bytes and waits for its echo; the port side takes the message and sends it back. Measured:
// from the device's write until the whole message is in the port user's hands (for the
// component: inside OnReceive on the owner thread). Median and 99th percentile.
//   bare poll()+read() loop on the slave (the baseline), TCommX with the plain dispatcher,
//   TCommX with the Qt dispatcher and Qt's serial port class.
// Usage: serial_latency_bench [rounds]
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "bench/serial/bench_pty.h"
#include "serial/commx.h"
#include "serial/plain_dispatcher.h"
#include "serial/port_table.h"

#ifdef KAVRO_BENCH_QT
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSerialPort>
#include <QThread>

#include "link/qt_comm_dispatcher.h"
#endif

namespace kavro::bench {
namespace {

// The far end: sends `rounds` messages of `size` bytes, each after the echo of the one before.
class Device {
 public:
  Device(Pty& pty, size_t size, int rounds) : pty_(pty), size_(size), rounds_(rounds) {}

  void Start() {
    thread_ = std::thread([this] {
      PinToCore(0);
      std::string message(size_, 'm'), echo(size_, '\0');
      for (int r = 0; r < rounds_; ++r) {
        message[0] = static_cast<char>(r);
        sentAt_.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        WriteAll(pty_.master, message.data(), size_);
        ReadAll(pty_.master, echo.data(), size_);
      }
      finished_ = true;
      if (onFinished) onFinished();
    });
  }
  void Join() { thread_.join(); }

  // Called by the port side when a whole message has arrived.
  void Arrived() {
    const Clock::time_point now = Clock::now();
    const Clock::time_point sent{Clock::duration(sentAt_.load(std::memory_order_acquire))};
    samples.push_back(now - sent);
  }
  bool Done() const { return static_cast<int>(samples.size()) >= rounds_; }
  // The last echo has come back too (it may still be under way when the last sample is taken).
  bool Finished() const { return finished_; }
  // Called on the device thread once finished, to wake an owner thread that sleeps in its loop.
  std::function<void()> onFinished;

  std::vector<Clock::duration> samples;

 private:
  Pty& pty_;
  const size_t size_;
  const int rounds_;
  std::thread thread_;
  std::atomic<Clock::rep> sentAt_{0};
  std::atomic<bool> finished_{false};
};

void BareLoop(Pty& pty, Device& device, size_t size) {
  const int fd = OpenRaw(pty.path);
  std::string buf(size, '\0');
  size_t have = 0;
  device.Start();
  while (!device.Done()) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, -1);
    const ssize_t n = read(fd, buf.data() + have, size - have);
    if (n <= 0) continue;
    have += static_cast<size_t>(n);
    if (have == size) {
      device.Arrived();
      WriteAll(fd, buf.data(), size);
      have = 0;
    }
  }
  device.Join();
  close(fd);
}

// The component's side of the exchange, whatever runs the owner thread.
void Wire(TCommX& comm, Device& device, size_t size, std::string& buf, size_t& have) {
  comm.OnReceive = [&device, &buf, &have, size](TCustomCommX* sender, int32_t waiting) {
    const auto n = sender->ReceiveBlock(reinterpret_cast<uint8_t*>(buf.data() + have),
                                        std::min<int32_t>(waiting, size - have));
    if (n > 0) have += static_cast<size_t>(n);
    if (have == size) {
      device.Arrived();
      sender->TransBlock(reinterpret_cast<const uint8_t*>(buf.data()), static_cast<int32_t>(size));
      have = 0;
    }
  };
}

void CommPlain(Pty& pty, Device& device, size_t size) {
  PortTable::Set(1, pty.path);
  PlainDispatcher dispatcher;
  TCommX comm(dispatcher);
  std::string buf(size, '\0');
  size_t have = 0;
  Wire(comm, device, size, buf, have);
  comm.PortOpen();
  device.Start();
  while (!device.Finished()) dispatcher.WaitAndProcess(std::chrono::milliseconds(100));
  device.Join();
}

#ifdef KAVRO_BENCH_QT
// Runs the Qt event loop, sleeping between events, until the device has finished.
void RunQtUntilFinished(Device& device) {
  QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance(QThread::currentThread());
  device.onFinished = [events] { events->wakeUp(); };
  while (!device.Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CommQt(Pty& pty, Device& device, size_t size) {
  PortTable::Set(1, pty.path);
  QtCommDispatcher dispatcher;
  TCommX comm(dispatcher);
  std::string buf(size, '\0');
  size_t have = 0;
  Wire(comm, device, size, buf, have);
  comm.PortOpen();
  device.Start();
  RunQtUntilFinished(device);
  device.Join();
}

void QtSerialPort(Pty& pty, Device& device, size_t size) {
  QSerialPort port;
  port.setPortName(QString::fromStdString(pty.path));
  if (!port.open(QIODevice::ReadWrite)) {
    std::fprintf(stderr, "QSerialPort: %s\n", port.errorString().toLocal8Bit().constData());
    std::exit(1);
  }
  QByteArray buf;
  QObject::connect(&port, &QSerialPort::readyRead, [&] {
    buf += port.read(static_cast<qint64>(size) - buf.size());
    if (static_cast<size_t>(buf.size()) == size) {
      device.Arrived();
      port.write(buf);
      buf.clear();
    }
  });
  device.Start();
  RunQtUntilFinished(device);
  device.Join();
}
#endif

struct Result {
  double median;
  double p99;
};

Result Run(size_t size, int rounds, const std::function<void(Pty&, Device&, size_t)>& side) {
  Pty pty;
  Device device(pty, size, rounds);
  side(pty, device, size);
  return {QuantileMicros(device.samples, 0.5), QuantileMicros(device.samples, 0.99)};
}

void Report(const char* what, Result r, Result base) {
  std::printf("  %-34s median %7.1f us  p99 %7.1f us   median/bare %.2f  p99/bare %.2f\n", what,
              r.median, r.p99, r.median / base.median, r.p99 / base.p99);
}

}  // namespace
}  // namespace kavro::bench

int main(int argc, char** argv) {
  using namespace kavro::bench;
#ifdef KAVRO_BENCH_QT
  QCoreApplication app(argc, argv);
#endif
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 10000;
  PinToCore(1);
  for (size_t size : {size_t{1}, size_t{16}}) {
    std::printf("serial receive latency, %zu-byte messages, %d rounds\n", size, rounds);
    const Result bare = Run(size, rounds, BareLoop);
    Report("bare poll()+read() loop", bare, bare);
    Report("TCommX, plain dispatcher", Run(size, rounds, CommPlain), bare);
#ifdef KAVRO_BENCH_QT
    Report("TCommX, Qt dispatcher", Run(size, rounds, CommQt), bare);
    Report("QSerialPort readyRead", Run(size, rounds, QtSerialPort), bare);
#endif
  }
  return 0;
}
