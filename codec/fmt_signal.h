// Signals on their way in and out of the exchange formats: the checks every parsed duration
// passes, the joining of adjacent pieces of one kind, and the signal of a code to be written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec {

// Why `us` cannot be one duration of a file (0, or longer than kMaxDurationUs); empty when it
// can.
std::string DurationProblem(int64_t us);

// Appends a mark (`us` > 0) or a space (`us` < 0); one of the same kind as the last piece is
// added to it instead, as a transmitter would send them. False when `part` already holds
// kMaxDurations.
bool JoinDuration(std::vector<int32_t>& part, int64_t us);

// Marks positive, spaces negative, strictly alternating from a mark, no zero, within the limits;
// only the part that comes last may end with a mark. What every parser gives.
bool WellFormed(const IrSignal& signal);

// Unsigned durations separated by blanks, marks and spaces alternating from a mark (LIRC raw
// codes, Flipper raw data), appended to `part` with their signs; why not, or empty.
std::string ReadUnsignedDurations(std::string_view text, std::vector<int32_t>& part);

// "more than 1024 durations".
std::string TooManyDurations();

// A positive time unit is given: what every writer of timings needs.
bool HasUnit(const ExportOptions& options);

// The carrier a code is written with: its protocol's nominal carrier, else the options'.
int ExportCarrier(const ExportCode& code, const ExportOptions& options);

// The code's block in microseconds (every frame in `intro`) with its export carrier; refused
// for an empty block or one with a duration of 0. Needs options.unit_ns.
Outcome<IrSignal> CodeSignal(const ExportCode& code, const ExportOptions& options);

// The comment line that names a code left out of a file: "# 0012 Power: not written: why".
std::string LeftOutLine(const ExportCode& code, std::string_view reason);

}  // namespace kavro::codec
