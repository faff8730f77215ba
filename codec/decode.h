// What a block is: its protocol and device/subdevice/function numbers, found from the ratios of
// its durations (no time unit needed). Protocols and their rules are listed in protocol_table.h.
#pragma once

#include <optional>
#include <string>

#include "datafile/signal_block.h"

namespace kavro::codec {

struct Decoded {
  std::string protocol;  // IRP name ("NEC1", "Sony12", "Panasonic"); empty: unknown
  std::optional<int> device;
  std::optional<int> subdevice;  // nothing where the protocol has none
  std::optional<int> function;
  // The structure and the protocol's own check (complements, XOR, equal frames) both hold.
  bool confident = false;
  // The block's shape, known also when the protocol is not.
  int frames = 0;
  int bits = 0;  // data bits of all frames as stored (a stop bit included)
  bool width_coding = false;

  bool Known() const { return !protocol.empty(); }
};

Decoded Decode(const SignalBlock& block);

// One line for people: "NEC1  device 4.251  function 8" (device.subdevice where there is a
// subdevice), or "unknown: pulse distance, 33 bits, 2 frames"; " (check failed)" is added to a
// decode that is not confident.
std::string DecodeSummary(const Decoded& decoded);

// The short form for a tooltip: "NEC1 4.251 2" (protocol, device[.subdevice], function), with
// " ?" where the check failed; empty for an unknown protocol.
std::string DecodeBrief(const Decoded& decoded);

// A learned block that holds a signal yet is probably cut short or misheard: no data bits in its
// first frame, or a recognised protocol whose own check fails. Worth learning again.
bool LooksIncomplete(const SignalBlock& block);

// The protocol's nominal carrier in Hz; 0 for an unknown protocol.
int NominalCarrier(const std::string& protocol);

}  // namespace kavro::codec
