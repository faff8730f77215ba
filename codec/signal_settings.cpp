#include "codec/signal_settings.h"

#include <limits>

#include "datafile/leading_decimal.h"
#include "datafile/store.h"

namespace kavro::codec {
namespace {

// The value as a positive integer: decimal digits only, blanks around them allowed.
std::optional<int> PositiveInteger(std::string_view text) {
  while (!text.empty() && IsTextSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTextSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

SignalSettings ReadSignalSettings(const std::string& data_file, FileError* error) {
  SignalSettings settings;
  std::string text;
  ReadKeyValue(data_file, kUnitNsSetting.section, kUnitNsSetting.key, text, kUnitNsSetting.deflt,
               error);
  if (const auto unit = PositiveInteger(text)) settings.unit_ns = *unit;
  // The second read is of the same file: its error, if any, is the first one's.
  ReadKeyValue(data_file, kCarrierSetting.section, kCarrierSetting.key, text,
               kCarrierSetting.deflt);
  if (const auto carrier = PositiveInteger(text)) settings.carrier_hz = *carrier;
  return settings;
}

std::string NoUnitMessage() {
  return "the time unit of the controller is not known: learn one key of any common remote "
         "(a TV's, for instance) and run \"kavro-cli calibrate\", or set UnitNs (nanoseconds "
         "per count) in section [Signal] of the data file";
}

}  // namespace kavro::codec
