// The commands that talk to the controller: send and learn as the code library window does
// them, and the four operations of the digital I/O page.
#pragma once

#include "tools/kavro-cli/cli_context.h"

namespace kavro::cli {

int SendCommand(Context& c, Operands operands);    // send N
int LearnCommand(Context& c, Operands operands);   // learn N COMMENT
int OutCommand(Context& c, Operands operands);     // out ADDR DATA
int InCommand(Context& c, Operands operands);      // in ADDR
int InDataCommand(Context& c, Operands operands);  // indata
int RawCommand(Context& c, Operands operands);     // raw TEXT

}  // namespace kavro::cli
