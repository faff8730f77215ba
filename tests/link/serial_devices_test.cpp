// The "Serial" section names the device behind each port choice.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "datafile/store.h"
#include "link/serial_devices.h"
#include "serial/port_table.h"

namespace kavro {
namespace {

TEST(SerialDevices, SectionOverridesTheStandardLines) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("kavro-serial-devices-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "k.dat").string();
  ASSERT_EQ(WriteKeyValue(path, "Serial", "COM2", "/dev/ttyUSB0"), 0);
  ASSERT_EQ(WriteKeyValue(path, "serial", "com5", "/dev/pts/7"), 0);

  PortTable::Set(1, "/dev/stale");
  LoadSerialDevices(path);
  EXPECT_EQ(PortTable::DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(PortTable::DevicePath(2), "/dev/ttyUSB0");
  EXPECT_EQ(PortTable::DevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(PortTable::DevicePath(5), "/dev/pts/7");

  LoadSerialDevices((dir / "missing.dat").string());
  EXPECT_EQ(PortTable::DevicePath(2), "/dev/ttyS1");
  PortTable::Clear();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kavro
