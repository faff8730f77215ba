// The command-line tool over the data file: argument parsing and a table of commands.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavro::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,  // a write failed (the file is unchanged) or no data file could be named
  kExitUsage = 2,   // the command line is wrong; one line on the error stream says how
};

// Runs the tool. `args` are the arguments after the program name; `exe_path` is the tool's
// own full path, from which the default data file is found (that of the main program `kavro`
// beside it). Output goes to `out` byte for byte, messages to `err`.
int Run(const std::vector<std::string>& args, const std::string& exe_path, std::ostream& out,
        std::ostream& err);

}  // namespace kavro::cli
