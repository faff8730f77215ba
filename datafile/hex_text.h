// The hex data text of a code (and the raw send text of the I/O page) turned into bytes.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

// Converts `text` into bytes and returns how many it produced.
//
// Outside double quotes, "," and blanks (space, tab) are skipped, ";" ends the text, and every
// other character is a hex digit; nothing is rejected (a non-digit gives some value, computed
// from its signed 8-bit code). Two digits make one byte. Inside double quotes every character is
// one byte as it is. A quote completes a pending half byte (low four bits zero) and counts it;
// a half byte still pending at the end is stored but not counted.
//
// `bytes` is resized to text.size(): every counted byte uses up at least one character, so the
// bytes, the pending one included, always fit. Callers look only at the first count bytes,
// plus the pending one where they want it.
int HexTextToBytes(std::string_view text, std::vector<unsigned char>& bytes);

// The stored form of bytes: two upper-case hex digits each, no separators.
std::string BytesToHexText(std::span<const unsigned char> bytes);

// The value of a hex digit of either case, or -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when every character is a hex digit (also for the empty text).
constexpr bool IsHexText(std::string_view text) {
  for (const char c : text)
    if (HexDigitValue(c) < 0) return false;
  return true;
}

}  // namespace kavro
