// IRDB's CSV tables, "functionname,protocol,device,subdevice,function" per row: protocol numbers
// without timings, so each row becomes a request to the encoder. Import only.
#pragma once

#include <string_view>
#include <vector>

#include "codec/formats.h"

namespace kavro::codec {

inline constexpr std::string_view kIrdbHeader = "functionname,protocol,device,subdevice,function";

// The header line is optional; subdevice -1 asks for the protocol's default. A field may be
// quoted ("VOL+") with "" for a quote inside.
std::vector<ImportEntry> ParseIrdb(std::string_view content);

// True for the header, or a first row of five fields: a protocol name and three integers.
bool LooksLikeIrdb(std::string_view first_line);

}  // namespace kavro::codec
