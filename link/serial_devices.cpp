#include "link/serial_devices.h"

#include "datafile/layout.h"
#include "datafile/store.h"
#include "serial/port_table.h"

namespace kavro {

void LoadSerialDevices(const std::string& data_file_name) {
  for (int i = 0; i < static_cast<int>(kSerialDeviceKeys.size()); ++i) {
    std::string path;
    ReadKeyValue(data_file_name, kSerialSection, kSerialDeviceKeys[i], path, "");
    if (path.empty())
      PortTable::Remove(i + 1);
    else
      PortTable::Set(i + 1, path);
  }
}

}  // namespace kavro
