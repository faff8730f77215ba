#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavro::bench {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal: the master is the far end, the slave the port under test.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;

  Pty() {
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    path = name;
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
};

// Opens the slave the way a serial layer would: raw, non-blocking.
inline int OpenRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("open " + path);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Writes everything, waiting with poll when the device is full.
inline void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, -1);
    } else if (n < 0 && errno != EINTR) {
      throw std::runtime_error("write failed");
    }
  }
}

// Reads exactly `size` bytes (blocking descriptor or not).
inline void ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = read(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, -1);
    } else if (n <= 0 && errno != EINTR) {
      throw std::runtime_error("read failed");
    }
  }
}

// Keeps the calling thread (and the threads it starts later) on one core, when there are two:
// the far end runs on core 0 and the side under test on core 1, as a device at the other end of
// a cable would. Unpinned, the machine's scheduler alone moves the results by a factor of two.
inline void PinToCore(int core) {
  if (sysconf(_SC_NPROCESSORS_ONLN) < 2) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(core, &set);
  sched_setaffinity(0, sizeof set, &set);
}

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

inline double CpuMillis() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// The q-quantile (0..1) of the samples, in microseconds.
inline double QuantileMicros(std::vector<Clock::duration> samples, double q) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const size_t i = std::min(samples.size() - 1, static_cast<size_t>(q * samples.size()));
  return std::chrono::duration<double, std::micro>(samples[i]).count();
}

}  // namespace kavro::bench
