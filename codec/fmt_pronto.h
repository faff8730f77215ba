// Pronto hex in its learned form: "0000", the frequency word (carrier = 4145146 / word Hz), the
// number of once pairs and of repeat pairs, then the (mark, space) pairs in carrier periods, once
// part first. The predefined forms (RC5 "5000", NEC "900A", ...) are not read.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec {

// One code: the once part becomes the intro, the repeat part the repeat.
Outcome<IrSignal> ParseProntoText(std::string_view text);
// The whole signal as the once part, no repeat part; the signal must have whole pairs.
Outcome<std::string> ProntoText(const IrSignal& signal);

// True when `text` begins like a learned Pronto code: "0000" and more 4-digit hex words.
bool LooksLikePronto(std::string_view text);

std::vector<ImportEntry> ParsePronto(std::string_view content);
std::string WritePronto(std::span<const ExportCode> codes, const ExportOptions& options);

}  // namespace kavro::codec
