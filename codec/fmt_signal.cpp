#include "codec/fmt_signal.h"

#include <algorithm>
#include <cstdlib>

#include "codec/decode.h"
#include "codec/fmt_text.h"
#include "codec/signal_settings.h"
#include "codec/timings.h"

namespace kavro::codec {
namespace {

bool PartAlternates(const std::vector<int32_t>& part) {
  for (size_t i = 0; i < part.size(); ++i) {
    const int32_t us = part[i];
    if (us == 0 || std::abs(static_cast<int64_t>(us)) > kMaxDurationUs * int64_t{4}) return false;
    if ((i % 2 == 0) != (us > 0)) return false;
  }
  return true;
}

}  // namespace

std::string DurationProblem(int64_t us) {
  if (us == 0) return "a duration of 0";
  if (us < -kMaxDurationUs || us > kMaxDurationUs) {
    return "duration " + std::to_string(us < 0 ? -us : us) + " µs > " +
           std::to_string(kMaxDurationUs);
  }
  return {};
}

bool JoinDuration(std::vector<int32_t>& part, int64_t us) {
  if (us == 0) return true;
  if (!part.empty() && (part.back() > 0) == (us > 0)) {
    // Joined pieces stay within four times the longest duration, far below int32's range.
    const int64_t limit = kMaxDurationUs * int64_t{4};
    part.back() = static_cast<int32_t>(std::clamp(part.back() + us, -limit, limit));
    return true;
  }
  if (part.size() >= kMaxDurations) return false;
  part.push_back(static_cast<int32_t>(std::clamp<int64_t>(us, -kMaxDurationUs, kMaxDurationUs)));
  return true;
}

bool WellFormed(const IrSignal& signal) {
  if (signal.carrier_hz < 0) return false;
  if (signal.intro.size() + signal.repeat.size() > kMaxDurations) return false;
  if (!PartAlternates(signal.intro) || !PartAlternates(signal.repeat)) return false;
  // A repeat begins with a mark, so the intro before it must end with a space.
  return signal.repeat.empty() || signal.intro.empty() || signal.intro.back() < 0;
}

std::string TooManyDurations() {
  return "more than " + std::to_string(kMaxDurations) + " durations";
}

bool HasUnit(const ExportOptions& options) {
  return options.unit_ns.has_value() && *options.unit_ns > 0;
}

int ExportCarrier(const ExportCode& code, const ExportOptions& options) {
  const int nominal = code.decoded.Known() ? NominalCarrier(code.decoded.protocol) : 0;
  if (nominal > 0) return nominal;
  return options.carrier_hz > 0 ? options.carrier_hz : kDefaultCarrierHz;
}

Outcome<IrSignal> CodeSignal(const ExportCode& code, const ExportOptions& options) {
  if (code.block.IsEmpty()) return Outcome<IrSignal>::Fail("the block holds no signal");
  IrSignal signal =
      BlockToSignal(code.block, options.unit_ns.value_or(0), ExportCarrier(code, options));
  if (signal.intro.empty()) return Outcome<IrSignal>::Fail("the block holds no signal");
  if (std::find(signal.intro.begin(), signal.intro.end(), 0) != signal.intro.end()) {
    return Outcome<IrSignal>::Fail("a duration of 0 in the block");
  }
  return signal;
}

std::string LeftOutLine(const ExportCode& code, std::string_view reason) {
  std::string line = "# " + CodeNumber(code.number);
  const std::string comment = OneLine(code.comment);
  if (!comment.empty()) line += " " + comment;
  return line + ": not written: " + std::string(reason) + "\n";
}

std::string ReadUnsignedDurations(std::string_view text, std::vector<int32_t>& part) {
  Tokens tokens(text, kBlanks);
  std::string_view token;
  while (tokens.Next(token)) {
    const std::optional<int64_t> us =
        token[0] >= '0' && token[0] <= '9' ? ParseDecimal(token) : std::nullopt;
    if (!us) return Quoted(token) + " is not a duration";
    if (const std::string problem = DurationProblem(*us); !problem.empty()) return problem;
    if (part.size() >= kMaxDurations) return TooManyDurations();
    part.push_back(static_cast<int32_t>(part.size() % 2 == 0 ? *us : -*us));
  }
  return {};
}

}  // namespace kavro::codec
