// Entries read from another tool's file made into blocks, ready to be stored: timings are fitted
// into the block model with the time unit, a protocol's numbers are encoded. Every entry comes
// back with its block or the reason it has none, so a partial import stores what fits and says
// what did not.
#pragma once

#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "codec/formats.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

struct ImportedCode {
  std::string name;  // UTF-8, as the file gave it
  std::optional<SignalBlock> block;
  std::string error;  // why there is no block
};

// `known` are the codes already stored: a protocol's numbers are encoded with the timing of a
// confidently decoded code of the same protocol among them when there is one, else with the
// unit. Timings need the unit.
std::vector<ImportedCode> ConvertEntries(std::span<const ImportEntry> entries,
                                         std::optional<double> unit_ns,
                                         std::span<const SignalBlock> known);

// The numbers the codes are stored at, one per code (-1 for a code without a block): the first
// numbers from `first` on that `used` does not hold, in the codes' order.
std::vector<int> FreeNumbers(std::span<const ImportedCode> codes, std::set<int> used, int first);

}  // namespace kavro::codec
