#include "datafile/hex_text.h"

namespace kavro {
namespace {

// Value of a hex digit by the loose rule: no check, so "G" gives 16 and a byte of 0x80 and up
// (taken as a negative code) a negative value.
int DigitValue(char c) {
  const int code = static_cast<signed char>(c);
  if (code >= 'a') return code - 'a' + 10;
  if (code >= 'A') return code - 'A' + 10;
  return code - '0';
}

}  // namespace

int HexTextToBytes(std::string_view text, std::vector<unsigned char>& bytes) {
  bytes.assign(text.size(), 0);
  int count = 0;
  bool quoted = false;
  bool half = false;
  for (const char c : text) {
    if (c == '"') {
      if (half) {
        ++count;  // the byte already holds the high digit, low nibble zero
        half = false;
      }
      quoted = !quoted;
      continue;
    }
    if (quoted) {
      bytes[count++] = static_cast<unsigned char>(c);
      continue;
    }
    if (c == ',' || c == ' ' || c == '\t') continue;
    if (c == ';') break;
    const int v = DigitValue(c);
    if (!half) {
      bytes[count] = static_cast<unsigned char>(v * 16);
      half = true;
    } else {
      bytes[count] = static_cast<unsigned char>(bytes[count] + v);
      ++count;
      half = false;
    }
  }
  return count;
}

std::string BytesToHexText(std::span<const unsigned char> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace kavro
