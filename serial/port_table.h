#pragma once

#include <cstdint>
#include <string>

namespace kavro {

// Which device stands for port number n. The program fills it (USB adapters, pseudo-terminals);
// a number without an entry is the n-th standard serial line, /dev/ttyS<n-1>. Process-wide.
class PortTable {
 public:
  static void Set(int32_t portNo, const std::string& devicePath);
  static void Remove(int32_t portNo);
  static void Clear();
  // The device path for `portNo`; empty when no device can stand for it (numbers below 1).
  static std::string DevicePath(int32_t portNo);
  // The port as a user knows it: "COM2 (/dev/ttyS1)", or "COM0" without a device.
  static std::string Describe(int32_t portNo);
};

}  // namespace kavro
