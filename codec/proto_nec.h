// NEC and the protocols that share its bit timing (mark 1, space 1 or 3) with a leader of 16:8 or
// 8:8: NEC1 and NEC2 (and their forms with a 16-bit function), NECx1 and NECx2, Samsung20, Aiwa
// and JVC.
#pragma once

#include <span>

#include "codec/protocol_table.h"

namespace kavro::codec {

std::span<const ProtocolInfo> NecProtocols();
bool DecodeNecFamily(const SignalBlock& block, DecodeDetail& detail);

}  // namespace kavro::codec
