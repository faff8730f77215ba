// Flipper Zero .ir files: "Filetype: IR signals file", "Version: 1", then entries of "key: value"
// lines, each opened by "name:". A parsed entry names a protocol with a 32-bit address and
// command (4 hex bytes, little-endian); a raw entry gives its frequency, duty cycle and data
// (µs, unsigned, alternating from a mark).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/formats.h"
#include "codec/outcome.h"

namespace kavro::codec {

// A Flipper protocol's address and command as the IRP protocol's numbers: NEC → NEC1 (an
// address over 255 carries the subdevice in its high byte), NECext → NEC1 (NEC1-f16 when the
// command's high byte is not ~F), NEC42 → Aiwa, Samsung32 → NECx1 (S = D), SIRC/SIRC15/SIRC20 →
// Sony12/15/20, Kaseikyo → Panasonic, JVC-48 or Denon-K by its vendor, RCA → RCA, Pioneer →
// NEC2. RC5, RC5X and RC6 are refused by name.
Outcome<EncodeRequest> RequestFromFlipper(std::string_view protocol, uint32_t address,
                                          uint32_t command);

struct FlipperParsed {
  std::string protocol;
  uint32_t address = 0;
  uint32_t command = 0;
};

// The reverse, for a confident decode of a protocol Flipper names; nothing otherwise.
std::optional<FlipperParsed> FlipperFromDecoded(const Decoded& decoded);

std::vector<ImportEntry> ParseFlipper(std::string_view content);
// Refused without a unit when a code needs a raw entry.
Outcome<std::string> WriteFlipper(std::span<const ExportCode> codes, const ExportOptions& options);

}  // namespace kavro::codec
