// A pad key press until its 30-byte IR send frame is on the line: the main window (off-screen)
// with COM1 on a pseudo-terminal whose master plays the controller. Measured from the release
// of key "1" (a key sends on release; the press and its repaint come before) until a reader
// thread has the frame's last byte from the master; the controller's 'E' then ends the
// exchange. Baselines: the same 30 bytes handed to the serial component's TransBlock
// on a pty (what the link itself cannot go below), and written straight to a raw pty slave.
//
//   mainwin_key_latency_bench [presses=500]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/controller_link.h"
#include "link/qt_comm_dispatcher.h"
#include "mainwin/kavro_application.h"
#include "mainwin/main_window.h"
#include "serial/commx.h"
#include "serial/port_table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrame = 30;

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  Pty() {
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::exit(1);
    path = name;
    for (int fd : {master, slave}) {
      termios t{};
      tcgetattr(fd, &t);
      cfmakeraw(&t);
      tcsetattr(fd, TCSANOW, &t);
    }
  }
  ~Pty() {
    close(master);
    close(slave);
  }
};

// Reads exactly `count` bytes from the master, waiting for them.
void ReadBytes(int fd, int count) {
  char buffer[256];
  while (count > 0) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 2000);
    const ssize_t n = read(fd, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(count)));
    if (n > 0) count -= static_cast<int>(n);
  }
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Stats {
  double median, p90, best;
};
Stats Summary(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[v.size() * 9 / 10], v.front()};
}

}  // namespace

int main(int argc, char** argv) {
  const int presses = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qt_argc = 1;
  kavro::KavroApplication app(qt_argc, argv);

  // Baseline: bare pty transfer of one frame.
  std::vector<double> bare;
  {
    Pty pty;
    const std::string frame(kFrame, 'S');
    for (int i = 0; i < presses; ++i) {
      const auto start = Clock::now();
      if (write(pty.slave, frame.data(), frame.size()) != kFrame) return 1;
      ReadBytes(pty.master, kFrame);
      bare.push_back(Micros(Clock::now() - start));
    }
  }

  // Baseline: the serial component alone, from TransBlock until the bytes are read.
  std::vector<double> component;
  {
    Pty pty;
    kavro::PortTable::Set(1, pty.path);
    kavro::QtCommDispatcher dispatcher;
    kavro::TCommX commx(dispatcher);
    commx.SetPortNo(1);
    commx.PortOpen();
    const std::vector<unsigned char> frame(kFrame, 'S');
    for (int i = 0; i < presses; ++i) {
      const auto start = Clock::now();
      commx.TransBlock(frame.data(), kFrame);
      ReadBytes(pty.master, kFrame);
      component.push_back(Micros(Clock::now() - start));
    }
    commx.PortClose();
    kavro::PortTable::Clear();
  }

  Pty line;
  close(line.slave);  // the program opens the slave itself
  line.slave = -1;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kavro-keybench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string data_file = (dir / "kavro.dat").string();
  {
    std::ofstream out(data_file, std::ios::binary);
    out << "[COMMON]\r\nCOM=1\r\n[Serial]\r\nCOM1=" << line.path
        << "\r\n[Data]\r\n0101=301000014040A000000000000000000000000010EF11EE000000000000 P1 TV 1\r\n";
  }

  std::vector<double> key, to_link;
  {
    kavro::TForm1 form(kavro::MainWindowSetup{{data_file}, "/nonexistent/kavro", nullptr});
    form.show();
    auto* button = form.findChild<QAbstractButton*>(QStringLiteral("Button1"));
    const char reply = 'E';
    // The controller's side: notes when each whole frame has arrived. The first press opens
    // the port and sends the preamble first.
    std::atomic<int> frames{0};
    std::atomic<Clock::rep> arrived{0};
    std::thread reader([&] {
      ReadBytes(line.master, 5);
      for (int i = -1; i < presses; ++i) {
        ReadBytes(line.master, kFrame);
        arrived.store(Clock::now().time_since_epoch().count());
        frames.fetch_add(1);
        frames.notify_one();
      }
    });
    // When the frame reaches the link's RsOut, just before the serial component takes it.
    Clock::time_point handed{};
    form.Link().SetTrafficObserver([&](kavro::ControllerLink::Traffic traffic, auto) {
      if (traffic == kavro::ControllerLink::Traffic::kFrame) handed = Clock::now();
    });
    for (int i = -1; i < presses; ++i) {
      // A key sends when it is released; the press (and its repaint) comes well before.
      QTest::mousePress(button, Qt::LeftButton);
      QCoreApplication::processEvents();
      const int before = frames.load();
      const auto start = Clock::now();
      QTest::mouseRelease(button, Qt::LeftButton);
      frames.wait(before);
      if (i >= 0) {
        key.push_back(Micros(Clock::time_point(Clock::duration(arrived.load())) - start));
        to_link.push_back(Micros(handed - start));
      }
      if (write(line.master, &reply, 1) != 1 ||
          !QTest::qWaitFor([&] { return !form.Link().Busy(); }, 2000)) {
        std::fprintf(stderr, "no end of exchange\n");
        std::_Exit(1);
      }
    }
    reader.join();
    form.prompt = [](QWidget*, const QString&, const QString&) { return false; };
  }
  std::filesystem::remove_all(dir);

  const Stats b = Summary(bare), c = Summary(component), k = Summary(key), l = Summary(to_link);
  std::printf("pad key press until the IR send frame is read on the line, %d presses\n", presses);
  std::printf(
      "  bare pty write+read of 30 bytes (baseline): median %7.1f us  p90 %7.1f us  best %7.1f us\n",
      b.median, b.p90, b.best);
  std::printf(
      "  TCommX TransBlock of 30 bytes until read:    median %7.1f us  p90 %7.1f us  best %7.1f us\n",
      c.median, c.p90, c.best);
  std::printf(
      "  release of key \"1\" until the frame is read: median %7.1f us  p90 %7.1f us  best %7.1f us\n",
      k.median, k.p90, k.best);
  std::printf(
      "    of which release until the link's RsOut:  median %7.1f us  p90 %7.1f us  best %7.1f us\n",
      l.median, l.p90, l.best);
  std::printf("  ratio of medians, key release to TransBlock: %.2f\n", k.median / c.median);
  return 0;
}
