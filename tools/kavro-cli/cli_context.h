// What every command of the command-line tool gets: the data file, the link options, the two
// output streams and whether text passes byte for byte.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "datafile/file_error.h"

namespace kavro::cli {

enum ExitCode : int {
  kExitOk = 0,
  // The data file could not be read, a write failed (the file is unchanged), no data file
  // could be named, or the controller refused, failed or did not answer.
  kExitFailed = 1,
  // The command line or its input is wrong; a message says how.
  kExitUsage = 2,
};

// The link options as given; what is not given comes from the data file.
struct LinkOptions {
  std::optional<std::string> link;  // "COM1".."COM5" or "RaViz", any case
  std::optional<std::string> host;
  std::optional<std::string> port;
  bool verbose = false;
  // Length of the link's reply tick; only tests shorten it.
  int tick_ms = 100;
};

struct Context {
  std::string data_file;
  LinkOptions link;
  std::ostream& out;
  std::ostream& err;
  // --raw: operands go into the file and stored text comes out exactly as the bytes are, with
  // no Shift-JIS conversion and no escapes.
  bool raw = false;
};

using Operands = std::span<const std::string>;

// A record number: decimal digits only, as many as an int holds.
std::optional<int> ParseRecordNumber(std::string_view text);

// Writes `line` and a line feed, byte for byte.
void PrintLine(std::ostream& out, std::string_view line);
// Prints "kavro-cli: " and `why` on the error stream; returns kExitUsage.
int InputError(std::ostream& err, std::string_view why);
// A data file that is there but cannot be read is no missing one: its defaults would be wrong
// answers. Prints "kavro-cli: PATH: REASON"; returns kExitFailed.
int ReadFailure(const Context& c, const FileError& error);
// Prints "kavro-cli: could not write PATH: REASON (unchanged)" and `more`; returns kExitFailed.
int WriteFailure(const Context& c, const FileError& error, std::string_view more = {});

}  // namespace kavro::cli
