// The line formats (Pronto hex, raw timings, Broadlink base64) share one framing: one code per
// line, given as "text", "name<TAB>text" or "NNNN<TAB>comment<TAB>text" (what the writers give,
// so that an export reads back with its comments); blank lines and '#' lines are skipped.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec {

using TextParser = Outcome<IrSignal> (*)(std::string_view text);
using TextWriter = Outcome<std::string> (*)(const IrSignal& signal);

// One entry per line that is not blank or a comment. An entry is named by its name or comment
// field, else "line N"; a line `parse` refuses gives an entry whose error starts "line N: ".
std::vector<ImportEntry> ParseLineEntries(std::string_view content, TextParser parse);

// The code text of a line: what follows its last tab, trimmed.
std::string_view LineText(std::string_view line);

// "NNNN<TAB>comment<TAB>text" per code; a code that cannot be written is named in a '#' line
// instead. Needs options.unit_ns.
std::string WriteLineEntries(std::span<const ExportCode> codes, const ExportOptions& options,
                             TextWriter write);

}  // namespace kavro::codec
