// The leaderless pulse distance protocols with mark 1 and space 3 or 7: Sharp and Denon (two
// frames, the second with the function inverted, told apart by their last two bits) and
// Mitsubishi (one frame of 16 bits, repeated).
#pragma once

#include <span>

#include "codec/protocol_table.h"

namespace kavro::codec {

std::span<const ProtocolInfo> SharpProtocols();
bool DecodeSharpFamily(const SignalBlock& block, DecodeDetail& detail);

}  // namespace kavro::codec
