#include "tools/kavro-cli/cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ostream>
#include <span>
#include <string_view>

#include "datafile/data_file_name.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/store.h"
#include "tools/kavro-cli/controller_commands.h"
#include "tools/kavro-cli/link_settings.h"

namespace kavro::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: kavro-cli [--data FILE] [--link COM1..COM5|RaViz] [--host HOST] [--port PORT] [-v] "
    "get|set|section|codes|send|learn|out|in|indata|raw ... (--help for more)";

struct Command {
  std::string_view name;
  std::size_t min_operands;
  std::size_t max_operands;
  std::string_view help;
  int (*run)(Context&, Operands);
};

int UsageError(std::ostream& err, std::string_view why = {}) {
  if (!why.empty()) err << "kavro-cli: " << why << '\n';
  else err << kUsage << '\n';
  return kExitUsage;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Names and values that would not come back as written, or would change other lines of the
// file: a line break starts a new line (a forged key or section header), "]" ends a section
// name, "=" ends a key, and a key beginning with "[" or a blank is no key line.
std::string_view BadSetOperand(std::string_view section, std::string_view key,
                               std::string_view value) {
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos) {
    return "SECTION must be non-empty, without \"]\" or line breaks";
  }
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ' ' || key.front() == '\t') {
    return "KEY must be non-empty, without \"=\" or line breaks, not starting with \"[\" or "
           "a blank";
  }
  if (HasLineBreak(value)) return "VALUE must not contain line breaks";
  return {};
}

int Get(Context& c, Operands ops) {
  std::string value;
  ReadKeyValue(c.data_file, ops[0], ops[1], value, ops.size() > 2 ? ops[2] : std::string());
  PrintLine(c.out, value);
  return kExitOk;
}

int Set(Context& c, Operands ops) {
  if (const std::string_view bad = BadSetOperand(ops[0], ops[1], ops[2]); !bad.empty()) {
    return UsageError(c.err, bad);
  }
  if (WriteKeyValue(c.data_file, ops[0], ops[1], ops[2]) != 0) {
    c.err << "kavro-cli: could not write " << c.data_file << " (unchanged)\n";
    return kExitFailed;
  }
  return kExitOk;
}

// Calls `each` with every line of `section`, then closes the shared reader.
template <typename Each>
void ForEachSectionLine(const std::string& path, std::string_view section, Each each) {
  std::string buffer = "start";
  while (ReadSectionLine(path, section, buffer) == 0) {
    each(std::string_view(buffer));
    buffer.clear();  // never hand a line back that reads as a control word
  }
  buffer = "end";
  ReadSectionLine(path, section, buffer);
}

int Section(Context& c, Operands ops) {
  ForEachSectionLine(c.data_file, ops[0], [&](std::string_view line) { PrintLine(c.out, line); });
  return kExitOk;
}

// Every record the library window would list, in file order, as "%04d data comment". A record
// whose comment is empty (or only blanks) prints as "%04d data", without a trailing blank.
int Codes(Context& c, Operands) {
  ForEachSectionLine(c.data_file, kDataSection, [&](std::string_view line) {
    std::optional<std::string> entry = LibraryEntryFromLine(line);
    if (!entry) return;
    const std::string_view e = *entry;
    std::size_t data_begin = e.find(' ') + 1;
    while (data_begin < e.size() && IsTextSpace(e[data_begin])) ++data_begin;
    std::size_t data_end = data_begin;
    while (data_end < e.size() && !IsTextSpace(e[data_end])) ++data_end;
    const bool no_comment = std::all_of(e.begin() + static_cast<std::ptrdiff_t>(data_end), e.end(),
                                        [](char ch) { return IsTextSpace(ch); });
    PrintLine(c.out, no_comment ? e.substr(0, data_end) : e);
  });
  return kExitOk;
}

constexpr std::array<Command, 10> kCommands{{
    {"get", 2, 3, "get SECTION KEY [DEFAULT]  print the value of KEY (DEFAULT or empty if absent)",
     Get},
    {"set", 3, 3, "set SECTION KEY VALUE      write KEY=VALUE into SECTION", Set},
    {"section", 1, 1, "section SECTION            print each KEY VALUE line of SECTION", Section},
    {"codes", 0, 0, "codes                      print every record of [Data] as NNNN data comment",
     Codes},
    {"send", 1, 1, "send N                     send record N of [Data] to the controller",
     SendCommand},
    {"learn", 2, 2,
     "learn N COMMENT            learn a code from the controller into record N (COMMENT: 1 to 20\n"
     "                             bytes in Shift-JIS; given in UTF-8, or in Shift-JIS as is)",
     LearnCommand},
    {"out", 2, 2,
     "out ADDR DATA              write output port ADDR (hex 0-f) with DATA (hex 00-ff)",
     OutCommand},
    {"in", 1, 1, "in ADDR                    read input port ADDR (hex 10-1f)", InCommand},
    {"indata", 0, 0, "indata                     read the input data", InDataCommand},
    {"raw", 1, 1,
     "raw TEXT                   send the bytes of TEXT (hex pairs, \"text\" in quotes) and print\n"
     "                             the reply",
     RawCommand},
}};

void PrintHelp(std::ostream& out) {
  out << kUsage << '\n'
      << "The data file is FILE, or by default the one the program kavro in this folder uses.\n"
      << "The controller is reached over --link (default: the choice stored in the data file), a\n"
      << "serial port or RaViz, the network server at --host and --port (default: section Lan).\n"
      << "-v prints every frame sent (\" S:\") and every reply (\" R:\").\n";
  for (const Command& command : kCommands) out << "  " << command.help << '\n';
  out << "Exit status: 0 done; 1 the file could not be written (it is unchanged), or the\n"
      << "controller refused, failed or did not answer; 2 bad usage or bad input.\n"
      << "--tick-ms MS shortens the link's 100 ms time-out tick (for tests).\n";
}

// "--name VALUE" or "--name=VALUE" at args[i]; advances i past a separate value.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) return std::nullopt;
    return args[++i];
  }
  if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=')
    return arg.substr(name.size() + 1);
  return std::nullopt;
}

bool IsOption(std::string_view arg, std::string_view name) {
  return arg == name ||
         (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
}

}  // namespace

void PrintLine(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
}

int InputError(std::ostream& err, std::string_view why) { return UsageError(err, why); }

int Run(const std::vector<std::string>& args, const std::string& exe_path, std::ostream& out,
        std::ostream& err) {
  std::optional<std::string> data_file;
  LinkOptions link;
  std::size_t i = 0;
  // Options come before the command, so that any operand (a value "--help", an address "-1")
  // is taken as given.
  for (; i < args.size() && args[i].starts_with("-"); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      PrintHelp(out);
      return kExitOk;
    }
    if (option == "-v" || option == "--verbose") {
      link.verbose = true;
      continue;
    }
    std::optional<std::string> value;
    if (IsOption(option, "--data")) {
      value = OptionValue(args, i, "--data");
      if (!value || value->empty()) return UsageError(err);
      data_file = value;
    } else if (IsOption(option, "--link")) {
      value = OptionValue(args, i, "--link");
      if (!value) return UsageError(err);
      if (!ParseLinkName(*value)) return UsageError(err, "--link must be COM1..COM5 or RaViz");
      link.link = value;
    } else if (IsOption(option, "--host")) {
      value = OptionValue(args, i, "--host");
      if (!value || value->empty()) return UsageError(err);
      link.host = value;
    } else if (IsOption(option, "--port")) {
      value = OptionValue(args, i, "--port");
      if (!value) return UsageError(err);
      if (!ParseTcpPort(*value))
        return UsageError(err, "--port \"" + *value + "\" is not a number from 1 to 65535");
      link.port = value;
    } else if (IsOption(option, "--tick-ms")) {
      value = OptionValue(args, i, "--tick-ms");
      int ms = 0;
      if (!value || std::from_chars(value->data(), value->data() + value->size(), ms).ptr !=
                        value->data() + value->size() || ms < 1 || ms > 1000)
        return UsageError(err, "--tick-ms must be a number of milliseconds from 1 to 1000");
      link.tick_ms = ms;
    } else {
      return UsageError(err);
    }
  }
  if (i == args.size()) return UsageError(err);

  const auto command = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const Command& c) { return c.name == args[i]; });
  const Operands operands(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  if (command == kCommands.end() || operands.size() < command->min_operands ||
      operands.size() > command->max_operands) {
    return UsageError(err);
  }

  if (!data_file) {
    const DataFileName name = ResolveDataFileName({}, SiblingProgramPath(exe_path, "kavro"));
    if (name.path.empty()) {
      err << "kavro-cli: no data file: " << name.note << '\n';
      return kExitFailed;
    }
    data_file = name.path;
  }
  Context context{*data_file, link, out, err};
  return command->run(context, operands);
}

}  // namespace kavro::cli
