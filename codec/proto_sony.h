// Sony12, Sony15 and Sony20: the one pulse width family (mark 1 or 2, space 1, leader 4:1). There
// is no check in the frame, so a decode is sure only when two frames of the block agree.
#pragma once

#include <span>

#include "codec/protocol_table.h"

namespace kavro::codec {

std::span<const ProtocolInfo> SonyProtocols();
bool DecodeSonyFamily(const SignalBlock& block, DecodeDetail& detail);

}  // namespace kavro::codec
