#include "gui/conversion_error.h"

#include <charconv>

#include "datafile/leading_decimal.h"

namespace kavro {

ConversionError::ConversionError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value") {}

bool TryStrToInt(std::string_view text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::string_view rest = text.substr(i);
  const bool plus = !rest.empty() && rest[0] == '+';
  if (plus) rest.remove_prefix(1);
  if (rest.empty() || rest[0] == '+' || (plus && rest[0] == '-')) return false;
  int parsed = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parsed);
  if (error != std::errc() || end != rest.data() + rest.size()) return false;
  value = parsed;
  return true;
}

int StrToInt(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) throw ConversionError(text);
  return value;
}

}  // namespace kavro
