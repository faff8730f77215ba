// Byte-limited cuts of Shift-JIS text (code page 932) that never split a double-byte character.
#pragma once

#include <cstddef>
#include <string_view>

namespace kavro {

// True for the first byte of a double-byte character: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The longest start of `text` that holds at most `max_bytes` bytes and ends on a character
// boundary. Characters are found by walking from the start: a lead byte and the byte after it
// make one character, whatever that byte is; a lead byte that is the last byte of `text` is a
// character of its own.
std::string_view CutSjis(std::string_view text, std::size_t max_bytes);

}  // namespace kavro
