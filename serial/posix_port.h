#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "serial/port_io.h"

namespace kavro {

// Test seam of the POSIX ports: faults, and input as the driver would deliver it, for the ports
// opened on one device path. A port looks its entry up when it opens; without an entry (the
// normal case) nothing here is touched.
class PortSeam {
 public:
  // The entry for `devicePath`, made on first use.
  static std::shared_ptr<PortSeam> For(const std::string& devicePath);
  static void RemoveAll();

  ~PortSeam();

  std::atomic<bool> failQueueSizes{false};
  std::atomic<bool> failConfigure{false};
  std::atomic<bool> failTimeouts{false};
  std::atomic<bool> failWrites{false};
  // The n-th waker made by a port opened here fails (1 is the first); 0 for none.
  std::atomic<int> failWaker{0};

  // Raw input with error marks, read before the device's own input.
  void InjectInput(const std::string& raw);
  // Line errors (kCommErr* flags) as the driver's error counters would show them.
  void InjectLineErrors(uint32_t flags);
  // Called with a short text ("write 2048", "rts on", "break off", ...) for every write,
  // modem-line and break call; from whichever thread makes the call.
  void SetTrace(std::function<void(const std::string&)> trace);

 private:
  friend class PosixPort;
  PortSeam();
  size_t TakeInput(uint8_t* out, size_t max);
  uint32_t TakeLineErrors();
  void Trace(const std::string& what);

  std::mutex mutex_;
  std::string input_;
  uint32_t lineErrors_ = 0;
  std::function<void(const std::string&)> trace_;
  int inputFd_ = -1;  // readable while injected input waits
};

}  // namespace kavro
