#include "codec/import.h"

#include <map>

#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/protocol_table.h"
#include "codec/signal_settings.h"
#include "codec/timings.h"

namespace kavro::codec {
namespace {

// The first confidently decoded known code of each protocol, by the protocol's entry in the
// table (so that any spelling or alias of a name finds it).
std::map<const ProtocolInfo*, const SignalBlock*> TimingTemplates(
    std::span<const SignalBlock> known) {
  std::map<const ProtocolInfo*, const SignalBlock*> templates;
  for (const SignalBlock& block : known) {
    const DecodeDetail detail = DecodeDetailed(block);
    if (detail.decoded.confident) templates.emplace(detail.protocol, &block);
  }
  return templates;
}

}  // namespace

std::vector<ImportedCode> ConvertEntries(std::span<const ImportEntry> entries,
                                         std::optional<double> unit_ns,
                                         std::span<const SignalBlock> known) {
  std::map<const ProtocolInfo*, const SignalBlock*> templates;
  bool templates_made = false;
  std::vector<ImportedCode> codes;
  codes.reserve(entries.size());
  for (const ImportEntry& entry : entries) {
    ImportedCode code{entry.name, std::nullopt, entry.error};
    if (entry.signal) {
      if (!unit_ns) {
        code.error = NoUnitMessage();
      } else if (Outcome<SignalBlock> fitted = FitSignal(*entry.signal, *unit_ns)) {
        code.block = std::move(fitted).value();
      } else {
        code.error = fitted.reason();
      }
    } else if (entry.request) {
      // Decoding the known codes costs a little: only an import with protocol numbers pays it.
      if (!templates_made) templates = TimingTemplates(known);
      templates_made = true;
      const auto found = templates.find(FindProtocol(entry.request->protocol));
      const EncodeTiming timing{unit_ns, found == templates.end() ? nullptr : found->second};
      if (Outcome<SignalBlock> encoded = Encode(*entry.request, timing)) {
        code.block = std::move(encoded).value();
      } else {
        code.error = encoded.reason();
      }
    } else if (code.error.empty()) {
      code.error = "no signal in this entry";
    }
    codes.push_back(std::move(code));
  }
  return codes;
}

std::vector<int> FreeNumbers(std::span<const ImportedCode> codes, std::set<int> used, int first) {
  std::vector<int> numbers;
  numbers.reserve(codes.size());
  int next = first;
  for (const ImportedCode& code : codes) {
    if (!code.block) {
      numbers.push_back(-1);
      continue;
    }
    while (used.count(next) != 0) ++next;
    used.insert(next);
    numbers.push_back(next++);
  }
  return numbers;
}

}  // namespace kavro::codec
