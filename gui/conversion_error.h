// The conversion of a typed text into an integer that refuses anything else: the error travels
// out of the event handler to the program's one error display, and the handler does nothing more.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kavro {

class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(std::string_view text);
};

// Optional blanks, an optional sign and decimal digits, with nothing after them, within the
// range of int. Throws ConversionError ("'12a' is not a valid integer value") otherwise.
int StrToInt(std::string_view text);

// As StrToInt, but nothing instead of the error.
bool TryStrToInt(std::string_view text, int& value);

}  // namespace kavro
