// The commands that understand codes: decode, calibrate, encode, export and import. They work on
// the data file alone; nothing here talks to the controller.
#pragma once

#include "tools/kavro-cli/cli_context.h"

namespace kavro::cli {

int DecodeCommand(Context& c, Operands operands);     // decode [--json] [N...]
int CalibrateCommand(Context& c, Operands operands);  // calibrate [--dry-run]
int EncodeCommand(Context& c, Operands operands);     // encode PROTOCOL D S F [--store N COMMENT]
int ExportCommand(Context& c, Operands operands);     // export --format F [-o FILE] [N...]
int ImportCommand(Context& c,
                  Operands operands);  // import FILE [--format F] [--from N] [--dry-run]

}  // namespace kavro::cli
