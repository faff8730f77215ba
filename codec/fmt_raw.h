// Raw timings in microseconds: IrScrutinizer's bracketed form
// "Freq=38400Hz[+9024,-4512,...][+9024,-2256,...][]" (intro, repeat, ending; signs optional,
// commas or spaces between durations) and a plain list "+9024 -4512 ..." (signed, or unsigned
// alternating from a mark). Writers give the bracketed form.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec {

// A non-empty ending follows the repeat (the intro when there is no repeat), since the signal
// is sent as intro, repeat, ending.
Outcome<IrSignal> ParseRawText(std::string_view text);
Outcome<std::string> RawText(const IrSignal& signal);

// True when `text` begins like raw timings: "Freq=", '[', or a (signed) number and another.
bool LooksLikeRaw(std::string_view text);

std::vector<ImportEntry> ParseRaw(std::string_view content);
std::string WriteRaw(std::span<const ExportCode> codes, const ExportOptions& options);

}  // namespace kavro::codec
