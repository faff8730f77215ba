#include "codec/fmt_pronto.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "codec/fmt_lines.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

// Carrier = kProntoClock / frequency word (Hz); a carrier period is word / kProntoClock s.
constexpr double kProntoClock = 4145146.0;
constexpr std::string_view kWordSeparators = " \t\v\f\r\n";

std::optional<int> Word(std::string_view token) {
  if (token.size() != 4) return std::nullopt;
  const std::optional<uint64_t> value = ParseHex(token);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

std::string NotAWord(std::string_view token) {
  return Quoted(token) + " is not a Pronto word (4 hex digits)";
}

// Why a Pronto code of another form than the learned one is not read.
std::string OtherForm(int form) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", form);
  switch (form) {
    case 0x0100: return "Pronto 0100 is an unmodulated code, which the block cannot hold";
    case 0x5000: return "Pronto 5000 is RC5, which is bi-phase coded and cannot be stored";
    case 0x5001: return "Pronto 5001 is RC5x, which is bi-phase coded and cannot be stored";
    case 0x6000: return "Pronto 6000 is RC6, which is bi-phase coded and cannot be stored";
    default:
      return "Pronto form " + std::string(hex) + " is not read; only learned codes (0000) are";
  }
}

std::string Hex4(int value) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", value);
  return hex;
}

}  // namespace

Outcome<IrSignal> ParseProntoText(std::string_view text) {
  using Result = Outcome<IrSignal>;
  Tokens tokens(text, kWordSeparators);
  int header[4];
  std::string_view token;
  for (int i = 0; i < 4; ++i) {
    if (!tokens.Next(token)) {
      return Result::Fail("a Pronto code has at least 4 words, this one " + std::to_string(i));
    }
    const std::optional<int> word = Word(token);
    if (!word) return Result::Fail(NotAWord(token));
    header[i] = *word;
    if (i == 0 && *word != 0) return Result::Fail(OtherForm(*word));
  }
  const int frequency_word = header[1];
  if (frequency_word == 0) return Result::Fail("Pronto frequency word 0000");
  const size_t once = static_cast<size_t>(header[2]) * 2;
  const size_t total = once + static_cast<size_t>(header[3]) * 2;
  if (total == 0) return Result::Fail("a Pronto code without pairs");
  if (total > kMaxDurations) return Result::Fail(TooManyDurations());

  IrSignal signal;
  signal.carrier_hz = static_cast<int>(std::lround(kProntoClock / frequency_word));
  size_t words = 0;
  while (tokens.Next(token)) {
    const std::optional<int> periods = Word(token);
    if (!periods) return Result::Fail(NotAWord(token));
    if (words < total) {
      const int64_t us = std::llround(*periods * (frequency_word * 1e6 / kProntoClock));
      const std::string problem = DurationProblem(us);
      if (!problem.empty()) {
        return Result::Fail(problem + " (word " + std::to_string(words + 5) + ")");
      }
      (words < once ? signal.intro : signal.repeat)
          .push_back(static_cast<int32_t>(words % 2 == 0 ? us : -us));
    }
    ++words;
  }
  if (words != total) {
    return Result::Fail("the header asks for " + std::to_string(total) +
                        " duration words, the code has " + std::to_string(words));
  }
  return signal;
}

Outcome<std::string> ProntoText(const IrSignal& signal) {
  using Result = Outcome<std::string>;
  if (signal.carrier_hz <= 0) return Result::Fail("no carrier for Pronto");
  if (signal.intro.size() % 2 != 0 || signal.repeat.size() % 2 != 0) {
    return Result::Fail("the signal ends with a mark; Pronto needs whole pairs");
  }
  const long frequency_word =
      std::clamp(std::lround(kProntoClock / signal.carrier_hz), 1L, 0xFFFFL);
  std::string text = "0000 " + Hex4(static_cast<int>(frequency_word)) + " " +
                     Hex4(static_cast<int>(signal.intro.size() / 2)) + " " +
                     Hex4(static_cast<int>(signal.repeat.size() / 2));
  const double period_us = frequency_word * 1e6 / kProntoClock;
  for (const std::vector<int32_t>* part : {&signal.intro, &signal.repeat}) {
    for (const int32_t us : *part) {
      const long periods = std::max(1L, std::lround(std::abs(us) / period_us));
      if (periods > 0xFFFF) {
        return Result::Fail("a duration of " + std::to_string(std::abs(us)) +
                            " µs is more than 65535 carrier periods");
      }
      text += " " + Hex4(static_cast<int>(periods));
    }
  }
  return text;
}

bool LooksLikePronto(std::string_view text) {
  Tokens tokens(text, kWordSeparators);
  std::string_view first, second;
  return tokens.Next(first) && first == "0000" && tokens.Next(second) && Word(second);
}

std::vector<ImportEntry> ParsePronto(std::string_view content) {
  return ParseLineEntries(content, ParseProntoText);
}

std::string WritePronto(std::span<const ExportCode> codes, const ExportOptions& options) {
  return WriteLineEntries(codes, options, ProntoText);
}

}  // namespace kavro::codec
