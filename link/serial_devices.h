// Which device stands behind COM1..COM5: the hand-edited section "Serial" of the data file
// (COM1=/dev/ttyUSB0, ...). A port without a key, or with an empty value, is the standard serial
// line /dev/ttyS<n-1>. Read with the other settings; never written by the program.
#pragma once

#include <string>

namespace kavro {

// Reads the section and sets the process-wide port table accordingly, replacing what an earlier
// call set.
void LoadSerialDevices(const std::string& data_file_name);

}  // namespace kavro
