// The Kaseikyo family: 48 bits after an 8:4 leader, the first two bytes a vendor code that names
// the member (Panasonic, Denon-K, Mitsubishi-K, Fujitsu, Teac-K, Sharp-K, JVC-48), each with its
// own layout of device, subdevice and function and its own check. A vendor code of none of them
// decodes as plain Kaseikyo, which cannot be encoded: its vendor has no field to go in.
#pragma once

#include <span>

#include "codec/protocol_table.h"

namespace kavro::codec {

std::span<const ProtocolInfo> KaseikyoProtocols();
bool DecodeKaseikyoFamily(const SignalBlock& block, DecodeDetail& detail);

}  // namespace kavro::codec
