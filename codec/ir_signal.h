// A signal in microseconds, the form every timing-based format speaks: marks positive, spaces
// negative, strictly alternating, beginning with a mark. A sequence may end with a mark (LIRC
// and Flipper raw data do); a block made into a signal always ends with a space.
#pragma once

#include <cstdint>
#include <vector>

namespace kavro::codec {

struct IrSignal {
  int carrier_hz = 0;           // 0 when the source does not say
  std::vector<int32_t> intro;   // sent once
  std::vector<int32_t> repeat;  // sent again while a key is held; may be empty
};

}  // namespace kavro::codec
