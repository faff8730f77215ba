// Which file is the data file.
//
// One command-line argument names it. Otherwise it sits beside the program, named like the
// program file with ".dat" in place of its extension (or added when it has none), unless the
// program's folder cannot be written and holds no such file yet: then it is kavro.dat in the
// user's data folder, so that an install in a read-only place still keeps learned codes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavro {

struct DataFileName {
  std::string path;  // empty when no name could be chosen
  std::string note;  // why `path` is empty, or why it may not be writable; empty when all is well
};

// The pure rule. `args` are the command-line arguments after the program's own name;
// `exe_path` is the program's full path ('/' and '\' both separate folders). Exactly one
// argument is the name, unchanged. Otherwise the program's file name gets ".dat" in place of
// everything from its last "." (a leading "." does not start an extension) or appended when it
// has none. A name over 1023 characters is refused, not cut.
DataFileName DataFileNameByRule(const std::vector<std::string>& args, std::string_view exe_path);

// The program's own full path (from /proc/self/exe); empty when it cannot be read.
std::string ExecutablePath();

// `exe_path` with its file name replaced by `program` (the command-line tool uses the data file
// of the main program beside it).
std::string SiblingProgramPath(std::string_view exe_path, std::string_view program);

// The user's data folder for Kavro: $XDG_DATA_HOME/kavro when that is an absolute path,
// otherwise $HOME/.local/share/kavro; empty when neither is known.
std::string UserDataFolder();

// The rule, then the place: a name derived from the program (not one given as an argument) is
// moved to kavro.dat in the user's data folder when the program's folder is not writable and
// the file does not exist there. That folder is created here, so the first write can succeed.
DataFileName ResolveDataFileName(const std::vector<std::string>& args, std::string_view exe_path);

}  // namespace kavro
