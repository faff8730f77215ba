// Blocks made from a protocol table: protocol + device [+ subdevice] + function, without the
// original remote.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "codec/outcome.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

struct EncodeRequest {
  std::string protocol;  // IRP name, any case ("nec1" is NEC1)
  int device = 0;
  int subdevice = -1;  // -1: the protocol's default (NEC1: 255 - device)
  int function = 0;
};

// How durations are found: from the time unit (counts = round(µs / unit)), or by reusing the
// timing bytes of a confidently decoded block of the same protocol (no unit needed). With both,
// the template wins.
struct EncodeTiming {
  std::optional<double> unit_ns;
  const SignalBlock* timing_template = nullptr;
};

// The protocol's frame structure (NEC1: frame and ditto frame; Sony: 3 identical frames) with
// one extra 0 bit after each pulse-distance frame as its stop mark. Refused with the reason: an
// unknown protocol, one the block cannot hold (by name: "RC5 is bi-phase coded"), a field out of
// its range ("function 300 > 255"), no unit and no template, a duration beyond its field.
Outcome<SignalBlock> Encode(const EncodeRequest& request, const EncodeTiming& timing);

// The IRP names Encode knows, in the order the decoder tries them.
std::vector<std::string> EncodableProtocols();

}  // namespace kavro::codec
