// Blocks and signals in microseconds, both ways.
#pragma once

#include "codec/ir_signal.h"
#include "codec/outcome.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

// The block's pieces in microseconds: counts × unit, rounded; a pause joins the space before it.
// Every frame goes into `intro`; `repeat` stays empty.
IrSignal BlockToSignal(const SignalBlock& block, double unit_ns, int carrier_hz);

// Fits a signal into the block model with `unit_ns`: the intro, then the repeat once, split into
// frames at pauses (a space much longer than the bit spaces), a leader per frame, the bit pieces
// sorted into two symbols, pulse width or pulse distance coding found from which piece varies.
// A final mark without a space is a stop bit (its space taken as the short piece). Refused with
// the reason when it does not fit: "bi-phase coding", "4 symbol widths", "4 frames", "97 bits",
// "leader mark 1400 counts > 1023", "bit piece 300 counts > 255", "pause 40000 counts > 32767",
// "bit timing differs between frames", an empty or malformed signal.
Outcome<SignalBlock> FitSignal(const IrSignal& signal, double unit_ns);

}  // namespace kavro::codec
