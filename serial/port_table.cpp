#include "serial/port_table.h"

#include <map>
#include <mutex>

namespace kavro {

namespace {
std::mutex& TableMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<int32_t, std::string>& Table() {
  static std::map<int32_t, std::string> table;
  return table;
}
}  // namespace

void PortTable::Set(int32_t portNo, const std::string& devicePath) {
  std::lock_guard lock(TableMutex());
  Table()[portNo] = devicePath;
}

void PortTable::Remove(int32_t portNo) {
  std::lock_guard lock(TableMutex());
  Table().erase(portNo);
}

void PortTable::Clear() {
  std::lock_guard lock(TableMutex());
  Table().clear();
}

std::string PortTable::DevicePath(int32_t portNo) {
  {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(portNo);
    if (it != Table().end()) return it->second;
  }
  if (portNo < 1) return {};
  return "/dev/ttyS" + std::to_string(portNo - 1);
}

std::string PortTable::Describe(int32_t portNo) {
  std::string text = "COM" + std::to_string(portNo);
  const std::string device = DevicePath(portNo);
  if (!device.empty()) text += " (" + device + ")";
  return text;
}

}  // namespace kavro
