#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "serial/plain_dispatcher.h"

namespace kavro::test {

// The far end of a stand-in serial line: a pseudo-terminal whose master side the test drives
// like a device would. The component opens the slave by its path.
class PtyDevice {
 public:
  PtyDevice() {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    path_ = name;
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
  }
  ~PtyDevice() {
    CloseMaster();
    close(slave_);
  }
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  const std::string& path() const { return path_; }
  int master() const { return master_; }
  // The test's own descriptor of the slave: shows the line settings the component made.
  int slave() const { return slave_; }

  void Write(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n < 0) throw std::runtime_error("write to the master failed");
      done += static_cast<size_t>(n);
    }
  }

  // Reads until `count` bytes have come or nothing came for `quiet`.
  std::string Read(size_t count,
                   std::chrono::milliseconds quiet = std::chrono::milliseconds(5000)) const {
    std::string out;
    char buf[4096];
    while (out.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
      const ssize_t n = read(master_, buf, std::min(sizeof buf, count - out.size()));
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }

  // Reads until what came ends with `suffix`, or nothing came for `quiet`.
  std::string ReadUntil(const std::string& suffix,
                        std::chrono::milliseconds quiet = std::chrono::milliseconds(5000)) const {
    std::string out;
    while (out.size() < suffix.size() ||
           out.compare(out.size() - suffix.size(), suffix.size(), suffix) != 0) {
      const std::string piece = Read(1, quiet);
      if (piece.empty()) break;
      out += piece;
      out += Read(4096, std::chrono::milliseconds(0));
    }
    return out;
  }

  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A dispatcher whose queue the test can feed itself, to act on the owner thread inside a wait.
class TestDispatcher : public PlainDispatcher {
 public:
  using PlainDispatcher::Post;
};

// Threads of this process; the component's workers are gone when it is back to where it was.
inline int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

// The thread count to come back to. Starting one thread first lets a sanitizer's runtime start
// its own helper thread before the count is taken.
inline int ThreadBaseline() {
  std::thread([] {}).join();
  return ThreadCount();
}

// CPU time used by the whole process so far.
inline std::chrono::microseconds ProcessCpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto us = [](const timeval& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
  };
  return us(usage.ru_utime) + us(usage.ru_stime);
}

}  // namespace kavro::test
