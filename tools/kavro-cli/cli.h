// The command-line tool over the data file and the controller: argument parsing and a table of
// commands.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/kavro-cli/cli_context.h"

namespace kavro::cli {

// Runs the tool. `args` are the arguments after the program name; `exe_path` is the tool's
// own full path, from which the default data file is found (that of the main program `kavro`
// beside it). Output goes to `out` byte for byte, messages to `err`. The controller commands
// need a QCoreApplication; they run its events while they wait.
int Run(const std::vector<std::string>& args, const std::string& exe_path, std::ostream& out,
        std::ostream& err);

}  // namespace kavro::cli
