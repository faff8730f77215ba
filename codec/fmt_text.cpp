#include "codec/fmt_text.h"

#include <cstdio>

namespace kavro::codec {
namespace {

constexpr int64_t kMaxMagnitude = int64_t{1} << 53;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint64_t> ParseBase(std::string_view text, int base, int max_digits) {
  if (text.empty() || static_cast<int>(text.size()) > max_digits) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexValue(c);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  return value;
}

}  // namespace

bool LineReader::Next(std::string_view& line) {
  if (done_) return false;
  const size_t lf = rest_.find('\n');
  if (lf == std::string_view::npos) {
    done_ = true;
    if (rest_.empty()) return false;  // a final line break ends the file, no empty line after
    line = rest_;
  } else {
    line = rest_.substr(0, lf);
    rest_.remove_prefix(lf + 1);
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ++number_;
  return true;
}

bool Tokens::Next(std::string_view& token) {
  while (!done_) {
    const size_t end = rest_.find_first_of(separators_);
    if (end == std::string_view::npos) {
      token = rest_;
      done_ = true;
    } else {
      token = rest_.substr(0, end);
      rest_.remove_prefix(end + 1);
    }
    if (keep_empty_ || !token.empty()) return true;
  }
  return false;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\v\f\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\v\f\r\n");
  return text.substr(first, last - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsBlankOrComment(std::string_view line) {
  const std::string_view text = Trim(line);
  return text.empty() || text.front() == '#';
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::optional<uint64_t> magnitude = ParseBase(text, 10, 16);
  if (!magnitude || *magnitude > static_cast<uint64_t>(kMaxMagnitude)) return std::nullopt;
  const auto value = static_cast<int64_t>(*magnitude);
  return negative ? -value : value;
}

std::optional<uint64_t> ParseHex(std::string_view text) { return ParseBase(text, 16, 16); }

std::optional<uint64_t> ParseCodeNumber(std::string_view text) {
  if (StartsWithNoCase(text, "0x")) return ParseBase(text.substr(2), 16, 16);
  if (text.size() > 1 && text.front() == '0') return ParseBase(text.substr(1), 8, 21);
  const std::optional<uint64_t> value = ParseBase(text, 10, 20);
  // 20 decimal digits may exceed 64 bits; such a number is refused, not wrapped.
  if (value && text.size() == 20 && text > "18446744073709551615") return std::nullopt;
  return value;
}

std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 24;
  std::string quoted = "'";
  quoted += text.substr(0, kShown);
  if (text.size() > kShown) quoted += "...";
  quoted += "'";
  return quoted;
}

std::string TooManyEntries() {
  return "more than " + std::to_string(kMaxEntries) + " entries: the rest is not read";
}

std::string LineError(int line, std::string_view what) {
  return "line " + std::to_string(line) + ": " + std::string(what);
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string CodeNumber(int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return digits;
}

std::string SafeName(std::string_view comment, int number) {
  const std::string_view text = Trim(comment);
  if (text.empty()) return "CODE_" + CodeNumber(number);
  std::string name;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-' || c == '.' || byte >= 0x80;
    name += kept ? c : '_';
  }
  return name;
}

std::string UniqueNames::Take(std::string name) {
  if (used_.insert(name).second) return name;
  for (int suffix = 2;; ++suffix) {
    std::string candidate = name + "_" + std::to_string(suffix);
    if (used_.insert(candidate).second) return candidate;
  }
}

}  // namespace kavro::codec
