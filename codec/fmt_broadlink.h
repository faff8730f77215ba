// Broadlink IR packets in base64, as Home Assistant's remote integration takes them ("b64:..."):
// 0x26 (IR), a repeat count, a 16-bit little-endian length, then each duration in units of
// 32.84 µs, one byte, or 0x00 and two bytes big-endian when over 255; 0x0d 0x05 ends the IR data
// and zero bytes may pad the packet. There is no carrier.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/ir_signal.h"
#include "codec/outcome.h"

namespace kavro::codec {

// With or without "b64:". The length field is not trusted (some tools write the number of
// durations there, others the number of bytes); the data runs to the end mark or the padding.
// The repeat count is ignored.
Outcome<IrSignal> ParseBroadlinkText(std::string_view text);
// "b64:" and the packet, intro and repeat one after the other, repeat count 0.
Outcome<std::string> BroadlinkText(const IrSignal& signal);

// True for "b64:..." and for base64 that begins like an IR packet ("Jg").
bool LooksLikeBroadlink(std::string_view text);

std::vector<ImportEntry> ParseBroadlink(std::string_view content);
std::string WriteBroadlink(std::span<const ExportCode> codes, const ExportOptions& options);

}  // namespace kavro::codec
