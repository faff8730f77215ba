// The decimal number a text begins with, read the way the C library's strtol reads it.
#pragma once

#include <optional>
#include <string_view>

namespace kavro {

// Skips leading white space (space, tab, line feed, vertical tab, form feed, carriage return),
// takes an optional sign and the digits that follow. No digit gives nothing; anything after the
// digits is ignored ("12abc" is 12). Values beyond the range of int are clamped to it.
std::optional<int> LeadingDecimal(std::string_view text);

// A blank: the space or tab that may stand around names, "=" and typed numbers.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The white-space test used for splitting stored values into words (the C locale's isspace).
constexpr bool IsTextSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace kavro
