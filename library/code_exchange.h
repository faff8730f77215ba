// The code library's traffic with other tools' files, apart from the window: what an import adds
// to the list, what an export writes, and the line that says what a code is. Texts for people
// are UTF-8; entries stay Shift-JIS bytes as the window keeps them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/outcome.h"

namespace kavro {

struct LibraryImport {
  std::vector<std::string> entries;  // new entries, "%04d data comment"
  std::vector<std::string> refused;  // "NAME: reason", one per entry that did not fit
  std::string error;                 // why nothing could be read at all
};

// Reads `path` (its format found from its content), makes its entries into codes with the data
// file's time unit or the timing of a code already in `entries`, and numbers them from 0250 on
// at numbers `entries` does not use. The entry's name becomes the comment, cut to 20 bytes.
LibraryImport ImportForLibrary(const std::string& path, const std::string& data_file,
                               const std::vector<std::string>& entries);

// Every entry in `format`, with the data file's unit and carrier.
codec::Outcome<std::string> ExportLibrary(codec::Format format,
                                          const std::vector<std::string>& entries,
                                          const std::string& data_file);

// What a data text stands for: its decode ("NEC1  device 4.251  function 8", or "unknown: pulse
// distance, 33 bits, 2 frames") and, with a time unit, how long it lasts ("  67.5 ms").
std::string DecodeLine(std::string_view data_text, std::optional<double> unit_ns);

}  // namespace kavro
