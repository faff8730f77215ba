#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/commx.h"
#include "serial/port_table.h"
#include "serial/posix_port.h"
#include "tests/serial/pty_device.h"

namespace kavro::test {

// Entries written from any thread (trace of the port, pauses, events), read by the test.
class EventLog {
 public:
  void Add(const std::string& entry) {
    {
      std::lock_guard lock(mutex_);
      entries_.push_back(entry);
    }
    changed_.notify_all();
  }
  std::vector<std::string> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // Waits until `entry` has been added `times` times in all.
  bool WaitFor(const std::string& entry, int times = 1,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      return std::count(entries_.begin(), entries_.end(), entry) >= times;
    });
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> entries_;
};

// A component on port 1, which is the slave of a fresh pseudo-terminal.
class CommTest : public ::testing::Test {
 protected:
  CommTest() {
    PortTable::Set(1, device.path());
    comm.SetPauseFunction([](int32_t) {});
  }
  ~CommTest() override {
    comm.PortClose();
    PortTable::Clear();
    PortSeam::RemoveAll();
  }

  std::shared_ptr<PortSeam> Seam() { return PortSeam::For(device.path()); }

  termios SlaveSettings() const {
    termios t{};
    tcgetattr(device.slave(), &t);
    return t;
  }

  speed_t SlaveSpeed() const {
    const termios t = SlaveSettings();
    return cfgetospeed(&t);
  }

  bool Send(const std::string& bytes) {
    return comm.TransBlock(reinterpret_cast<const uint8_t*>(bytes.data()),
                           static_cast<int32_t>(bytes.size()));
  }

  PtyDevice device;
  TestDispatcher dispatcher;
  EventLog log;  // outlives the component, whose closing may still write to it
  TCommX comm{dispatcher};
};

// Expects `statement` to raise ECommError with `message`.
#define EXPECT_COMM_ERROR(statement, message)        \
  do {                                               \
    try {                                            \
      statement;                                     \
      ADD_FAILURE() << #statement " raised nothing"; \
    } catch (const ::kavro::ECommError& e) {         \
      EXPECT_EQ(e.Message(), message) << #statement; \
    }                                                \
  } while (false)

}  // namespace kavro::test
