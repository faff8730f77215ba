// Fuzz target over one exchange format's parser; KAVRO_FUZZ_FORMAT names the format ("pronto",
// "raw", ...), and the build makes one target per format. Whatever the bytes, nothing crashes,
// every entry holds a signal, a request or its error, and has a name or an error; a signal's
// durations alternate from a mark, none is 0, and the limits hold. Raw timings written from a
// parsed signal read back as the same signal. Detection runs over the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "codec/fmt_raw.h"
#include "codec/fmt_text.h"
#include "codec/formats.h"

namespace {

using kavro::codec::Format;
using kavro::codec::ImportEntry;
using kavro::codec::IrSignal;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

Format FuzzedFormat() {
  static const std::optional<Format> format = kavro::codec::FormatFromName(KAVRO_FUZZ_FORMAT);
  Check(format.has_value(), "KAVRO_FUZZ_FORMAT names no format");
  return *format;
}

// Marks positive, spaces negative, from a mark; the part may end either way.
void CheckPart(const std::vector<int32_t>& part) {
  for (size_t i = 0; i < part.size(); ++i) {
    Check(part[i] != 0, "a duration of 0");
    Check((part[i] > 0) == (i % 2 == 0), "durations do not alternate from a mark");
  }
}

void CheckSignal(const IrSignal& signal) {
  Check(signal.carrier_hz >= 0, "a negative carrier");
  Check(!signal.intro.empty() || !signal.repeat.empty(), "a signal without durations");
  Check(signal.intro.size() + signal.repeat.size() <= kavro::codec::kMaxDurations,
        "more durations than the limit");
  CheckPart(signal.intro);
  CheckPart(signal.repeat);
  Check(signal.repeat.empty() || signal.intro.empty() || signal.intro.back() < 0,
        "the intro ends with a mark before the repeat");
}

void CheckRawRoundTrip(const IrSignal& signal) {
  const auto text = kavro::codec::RawText(signal);
  Check(text.ok(), "a parsed signal cannot be written as raw timings");
  const auto back = kavro::codec::ParseRawText(*text);
  Check(back.ok(), "written raw timings do not read back");
  Check(back->carrier_hz == signal.carrier_hz && back->intro == signal.intro &&
            back->repeat == signal.repeat,
        "raw timings read back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const Format format = FuzzedFormat();
  const std::vector<ImportEntry> entries = kavro::codec::ParseEntries(format, content);
  Check(entries.size() <= kavro::codec::kMaxEntries + 1, "more entries than the limit");
  for (const ImportEntry& entry : entries) {
    Check(!entry.name.empty() || !entry.error.empty(), "an entry with neither name nor error");
    const int held = static_cast<int>(entry.signal.has_value()) + entry.request.has_value();
    Check(held == (entry.error.empty() ? 1 : 0), "an entry holds not exactly one thing or error");
    if (entry.request) Check(!entry.request->protocol.empty(), "a request without a protocol");
    if (entry.signal) {
      CheckSignal(*entry.signal);
      if (format == Format::kRaw) CheckRawRoundTrip(*entry.signal);
    }
  }
  kavro::codec::DetectFormat(content);
  return 0;
}
