// What turns counts into time: the controller's time unit and the carrier, kept in section
// "Signal" of the data file (UnitNs: nanoseconds per count, an integer; Carrier: Hz, default
// 38000). Written only by calibrate or by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "datafile/file_error.h"
#include "datafile/layout.h"

namespace kavro::codec {

inline constexpr std::string_view kSignalSection = "Signal";
inline constexpr Setting kUnitNsSetting{kSignalSection, "UnitNs", ""};
inline constexpr Setting kCarrierSetting{kSignalSection, "Carrier", "38000"};
inline constexpr int kDefaultCarrierHz = 38000;

struct SignalSettings {
  std::optional<double> unit_ns;  // nothing until calibrated or set by hand
  int carrier_hz = kDefaultCarrierHz;
};

// Reads both keys; a value that is not a positive integer counts as absent (with the default
// carrier). `error` as the store gives it.
SignalSettings ReadSignalSettings(const std::string& data_file, FileError* error = nullptr);

// What a command that needs the unit says when there is none.
std::string NoUnitMessage();

}  // namespace kavro::codec
