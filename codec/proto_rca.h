// RCA: pulse distance with mark 1 and space 2 or 4 after an 8:8 leader, its fields sent most
// significant bit first, each followed by its complement.
#pragma once

#include <span>

#include "codec/protocol_table.h"

namespace kavro::codec {

std::span<const ProtocolInfo> RcaProtocols();
bool DecodeRcaFamily(const SignalBlock& block, DecodeDetail& detail);

}  // namespace kavro::codec
