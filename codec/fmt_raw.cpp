#include "codec/fmt_raw.h"

#include "codec/fmt_lines.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

constexpr std::string_view kListSeparators = ", \t\v\f\r\n";

struct Duration {
  int sign = 0;  // +1 mark, -1 space, 0 not said
  int64_t us = 0;
};

// "+9024", "-4512", "564" or "563.8" (rounded).
Outcome<Duration> ParseDuration(std::string_view token) {
  Duration duration;
  std::string_view digits = token;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    duration.sign = digits.front() == '+' ? 1 : -1;
    digits.remove_prefix(1);
  }
  std::string_view fraction;
  if (const size_t dot = digits.find('.'); dot != std::string_view::npos) {
    fraction = digits.substr(dot + 1);
    digits = digits.substr(0, dot);
  }
  const std::optional<int64_t> whole = ParseDecimal(digits);
  if (!whole || digits.front() == '+' || digits.front() == '-' ||
      (!fraction.empty() && !ParseDecimal(fraction)) ||
      (!fraction.empty() && (fraction.front() == '+' || fraction.front() == '-'))) {
    return Outcome<Duration>::Fail(Quoted(token) + " is not a duration");
  }
  duration.us = *whole + (!fraction.empty() && fraction.front() >= '5' ? 1 : 0);
  const std::string problem = DurationProblem(duration.us);
  if (!problem.empty()) return Outcome<Duration>::Fail(problem);
  return duration;
}

// The durations of `list` into `part`, alternating from a mark; a sign, where given, must agree.
// `total` counts the durations of the whole signal against the limit.
std::string ReadList(std::string_view list, std::vector<int32_t>& part, size_t& total) {
  Tokens tokens(list, kListSeparators);
  std::string_view token;
  while (tokens.Next(token)) {
    const Outcome<Duration> duration = ParseDuration(token);
    if (!duration) return duration.reason();
    const bool mark = part.size() % 2 == 0;
    if (duration->sign != 0 && (duration->sign > 0) != mark) {
      return "durations do not alternate at " + Quoted(token) + " (a " + (mark ? "mark" : "space") +
             " belongs there)";
    }
    if (++total > kMaxDurations) return TooManyDurations();
    part.push_back(static_cast<int32_t>(mark ? duration->us : -duration->us));
  }
  return {};
}

bool EndsWithMark(const std::vector<int32_t>& part) { return !part.empty() && part.back() > 0; }

Outcome<IrSignal> ParseBracketed(std::string_view text) {
  using Result = Outcome<IrSignal>;
  IrSignal signal;
  std::string_view rest = text;
  if (StartsWithNoCase(rest, "freq=")) {
    rest.remove_prefix(5);
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    const std::optional<int64_t> hz = ParseDecimal(rest.substr(0, digits));
    if (!hz) return Result::Fail("Freq= without a number of Hz");
    if (*hz > 1'000'000) return Result::Fail("carrier " + std::to_string(*hz) + " Hz > 1 MHz");
    signal.carrier_hz = static_cast<int>(*hz);
    rest.remove_prefix(digits);
    if (StartsWithNoCase(rest, "hz")) rest.remove_prefix(2);
    rest = Trim(rest);
  }
  std::vector<int32_t> parts[3];
  int count = 0;
  size_t total = 0;
  while (!rest.empty()) {
    if (rest.front() != '[') return Result::Fail("'[' expected at " + Quoted(rest));
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) return Result::Fail("a '[' without its ']'");
    if (count == 3) return Result::Fail("more than 3 bracketed sequences");
    const std::string problem = ReadList(rest.substr(1, close - 1), parts[count++], total);
    if (!problem.empty()) return Result::Fail(problem);
    rest = Trim(rest.substr(close + 1));
  }
  auto& [intro, repeat, ending] = parts;
  if (!ending.empty()) {
    std::vector<int32_t>& before = repeat.empty() ? intro : repeat;
    if (EndsWithMark(before)) return Result::Fail("a sequence ends with a mark where more follows");
    before.insert(before.end(), ending.begin(), ending.end());
  }
  if (!repeat.empty() && EndsWithMark(intro)) {
    return Result::Fail("a sequence ends with a mark where more follows");
  }
  if (intro.empty() && repeat.empty()) return Result::Fail("no durations");
  signal.intro = std::move(intro);
  signal.repeat = std::move(repeat);
  return signal;
}

void AppendList(std::string& text, const std::vector<int32_t>& part) {
  text += '[';
  for (size_t i = 0; i < part.size(); ++i) {
    if (i > 0) text += ',';
    if (part[i] > 0) text += '+';
    text += std::to_string(part[i]);
  }
  text += ']';
}

}  // namespace

Outcome<IrSignal> ParseRawText(std::string_view text) {
  text = Trim(text);
  if (StartsWithNoCase(text, "freq=") || (!text.empty() && text.front() == '[')) {
    return ParseBracketed(text);
  }
  IrSignal signal;
  size_t total = 0;
  const std::string problem = ReadList(text, signal.intro, total);
  if (!problem.empty()) return Outcome<IrSignal>::Fail(problem);
  if (signal.intro.empty()) return Outcome<IrSignal>::Fail("no durations");
  return signal;
}

Outcome<std::string> RawText(const IrSignal& signal) {
  std::string text;
  if (signal.carrier_hz > 0) text = "Freq=" + std::to_string(signal.carrier_hz) + "Hz";
  AppendList(text, signal.intro);
  AppendList(text, signal.repeat);
  text += "[]";
  return text;
}

bool LooksLikeRaw(std::string_view text) {
  text = Trim(text);
  if (StartsWithNoCase(text, "freq=") || (!text.empty() && text.front() == '[')) return true;
  Tokens tokens(text, kListSeparators);
  std::string_view first, second;
  return tokens.Next(first) && ParseDuration(first) && tokens.Next(second) && ParseDuration(second);
}

std::vector<ImportEntry> ParseRaw(std::string_view content) {
  return ParseLineEntries(content, ParseRawText);
}

std::string WriteRaw(std::span<const ExportCode> codes, const ExportOptions& options) {
  return WriteLineEntries(codes, options, RawText);
}

}  // namespace kavro::codec
