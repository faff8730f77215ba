#include "datafile/leading_decimal.h"

#include <climits>
#include <cstddef>

namespace kavro {

std::optional<int> LeadingDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsTextSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t first_digit = i;
  long long value = 0;  // kept within INT_MAX + 1, so it never overflows
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (i == first_digit) return std::nullopt;
  if (negative) return static_cast<int>(-value);  // -(INT_MAX + 1) is INT_MIN
  return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

}  // namespace kavro
