#pragma once
// Hex and text helpers shared by the simulator's option parser, responders and log.
//
// The simulator keeps its own hex and text rules on purpose instead of taking the program's
// (datafile/hex_text.h, link/frames.h): it checks what the program sends, and a fault in a shared
// rule would then be made the same way on both sides and pass unseen.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavro::sim {

using Bytes = std::vector<std::uint8_t>;

// Upper-case, two digits per byte, no separators ("4C30").
std::string toHex(const std::uint8_t* data, std::size_t size);
inline std::string toHex(const Bytes& bytes) { return toHex(bytes.data(), bytes.size()); }

// Accepts an even number of hex digits of either case and nothing else; an empty text is
// an empty block. Anything else gives nullopt, so a typo in an option is refused, not guessed.
std::optional<Bytes> parseHex(std::string_view text);

// Bytes of a text line as the log shows them: printable ASCII as it is, everything else
// escaped (\r, \n, \\, \", \xHH), all between double quotes.
std::string quoteText(const std::uint8_t* data, std::size_t size);
inline std::string quoteText(std::string_view text) {
  return quoteText(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

inline Bytes toBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

}  // namespace kavro::sim
