// Names of the remote pad's keys, used as the comment of a code learned on the pad.
#pragma once

#include <string>

namespace kavro {

// The name of pad key index k (1..50), e.g. "TV CH UP", "EXT 3", "VTR 12"; empty outside 1..50.
std::string PadKeyName(int key_index);

// The comment of a code learned on the pad: "P1 ", "P2 " or "P3 " for codes 101..150, 151..200,
// 201..250, followed by the key name. Empty for codes outside 101..250.
std::string PadLearnComment(int code);

}  // namespace kavro
