#include "tools/kavro-cli/cli.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ostream>
#include <span>
#include <string_view>
#include <vector>

#include "datafile/data_file_name.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/store.h"
#include "tools/kavro-cli/cli_text.h"
#include "tools/kavro-cli/codec_commands.h"
#include "tools/kavro-cli/controller_commands.h"
#include "link/link_settings.h"

namespace kavro::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: kavro-cli [--data FILE] [--link COM1..COM5|RaViz] [--host HOST] [--port PORT] [-v] "
    "[--raw] get|set|section|codes|send|learn|out|in|indata|raw|decode|calibrate|encode|export|"
    "import ... (--help for more)";

struct Command {
  std::string_view name;
  std::size_t min_operands;
  std::size_t max_operands;
  std::string_view help;
  int (*run)(Context&, Operands);
};

int UsageError(std::ostream& err, std::string_view why = {}) {
  if (!why.empty())
    err << "kavro-cli: " << why << '\n';
  else
    err << kUsage << '\n';
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
      key.front() == '[' || IsBlank(key.front())) {
    return "KEY must be non-empty, without \"=\" or line breaks, not starting with \"[\" or "
           "a blank";
  }
  if (HasLineBreak(value)) return "VALUE must not contain line breaks";
  return {};
}

// The operands as the file holds them; `names` name them in messages. Nothing after a message.
std::optional<std::vector<std::string>> StoredOperands(const Context& c, Operands ops,
                                                       std::span<const std::string_view> names) {
  std::vector<std::string> stored;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    std::string error;
    std::optional<std::string> text = OperandToShiftJis(names[i], ops[i], c.raw, error);
    if (!text) {
      UsageError(c.err, error);
      return std::nullopt;
    }
    stored.push_back(std::move(*text));
  }
  return stored;
}

int Get(Context& c, Operands ops) {
  static constexpr std::array<std::string_view, 3> kNames{"SECTION", "KEY", "DEFAULT"};
  const auto stored = StoredOperands(c, ops, kNames);
  if (!stored) return kExitUsage;
  const std::vector<std::string>& op = *stored;
  std::string value;
  FileError error;
  ReadKeyValue(c.data_file, op[0], op[1], value, op.size() > 2 ? op[2] : std::string(), &error);
  if (error) return ReadFailure(c, error);
  PrintLine(c.out, ForTerminal(value, c.raw));
  return kExitOk;
}

int Set(Context& c, Operands ops) {
  static constexpr std::array<std::string_view, 3> kNames{"SECTION", "KEY", "VALUE"};
  const auto stored = StoredOperands(c, ops, kNames);
  if (!stored) return kExitUsage;
  const std::vector<std::string>& op = *stored;
  // Checked on the bytes that are stored: a trail byte of a double-byte character can be "]".
  if (const std::string_view bad = BadSetOperand(op[0], op[1], op[2]); !bad.empty()) {
    return UsageError(c.err, bad);
  }
  FileError error;
  if (WriteKeyValue(c.data_file, op[0], op[1], op[2], &error) != 0) return WriteFailure(c, error);
  return kExitOk;
}

// Calls `each` with every line of `section`, then closes the shared reader. Why the file could
// not be read, if it could not.
template <typename Each>
FileError ForEachSectionLine(const std::string& path, std::string_view section, Each each) {
  FileError error;
  std::string buffer = "start";
  for (int got = ReadSectionLine(path, section, buffer, &error); got == 0;
       got = ReadSectionLine(path, section, buffer)) {
    each(std::string_view(buffer));
    buffer.clear();  // never hand a line back that reads as a control word
  }
  buffer = "end";
  ReadSectionLine(path, section, buffer);
  return error;
}

int Section(Context& c, Operands ops) {
  static constexpr std::array<std::string_view, 1> kNames{"SECTION"};
  const auto stored = StoredOperands(c, ops, kNames);
  if (!stored) return kExitUsage;
  const FileError error = ForEachSectionLine(
      c.data_file, stored->front(),
      [&](std::string_view line) { PrintLine(c.out, ForTerminal(line, c.raw)); });
  return error ? ReadFailure(c, error) : kExitOk;
}

// Every record the library window would list, in file order, as "%04d data comment". A record
// whose comment is empty (or only blanks) prints as "%04d data", without a trailing blank.
int Codes(Context& c, Operands) {
  auto print = [&](std::string_view line) {
    const std::optional<std::string> entry = LibraryEntryFromLine(line);
    if (!entry) return;
    std::string_view shown = *entry;
    if (const std::optional<RecordEntryParts> parts = SplitRecordEntry(shown);
        parts && parts->comment.empty()) {
      // The parts point into `shown`: keep it up to the end of the data text.
      shown = shown.substr(
          0, static_cast<std::size_t>(parts->data.data() - shown.data()) + parts->data.size());
    }
    PrintLine(c.out, ForTerminal(shown, c.raw));
  };
  const FileError error = ForEachSectionLine(c.data_file, kDataSection, print);
  return error ? ReadFailure(c, error) : kExitOk;
}

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

constexpr std::array<Command, 15> kCommands{{
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
    {"decode", 0, kAny,
     "decode [--json] [N...]     print each code's protocol, device, subdevice and function",
     DecodeCommand},
    {"calibrate", 0, 1,
     "calibrate [--dry-run]      find the controller's time unit from the codes and store it",
     CalibrateCommand},
    {"encode", 4, 7,
     "encode PROTOCOL DEVICE SUBDEVICE FUNCTION [--store N COMMENT]\n"
     "                           print (or store as N) the data text of a protocol's code",
     EncodeCommand},
    {"export", 2, kAny,
     "export --format pronto|raw|lirc|flipper|broadlink [-o FILE] [N...]\n"
     "                           write codes in another tool's format",
     ExportCommand},
    {"import", 1, 6,
     "import FILE [--format F] [--from N] [--dry-run]\n"
     "                           store the codes of another tool's file at free numbers from N\n"
     "                           (default 0250); F: pronto, raw, lirc, flipper, irdb, broadlink",
     ImportCommand},
}};

void PrintHelp(std::ostream& out) {
  out << kUsage << '\n'
      << "The data file is FILE, or by default the one the program kavro in this folder uses.\n"
      << "The controller is reached over --link (default: the choice stored in the data file), a\n"
      << "serial port or RaViz, the network server at --host and --port (default: section Lan).\n"
      << "-v prints every frame sent (\" S:\") and every reply (\" R:\").\n"
      << "Text is UTF-8 on the command line and in the output, Shift-JIS in the file; control\n"
      << "characters print as \\xHH. --raw passes every byte as it is, both ways (for scripts).\n";
  for (const Command& command : kCommands) out << "  " << command.help << '\n';
  out << "Exit status: 0 done; 1 the data file could not be read, or written (it is then\n"
      << "unchanged), or the controller refused, failed or did not answer; 2 bad usage or bad\n"
      << "input. A missing data file reads as the defaults.\n"
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

std::optional<int> ParseRecordNumber(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

void PrintLine(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
}

int InputError(std::ostream& err, std::string_view why) { return UsageError(err, why); }

int ReadFailure(const Context& c, const FileError& error) {
  c.err << "kavro-cli: " << FileErrorText(c.data_file, error) << '\n';
  return kExitFailed;
}

int WriteFailure(const Context& c, const FileError& error, std::string_view more) {
  c.err << "kavro-cli: could not write " << FileErrorText(c.data_file, error) << " (unchanged)"
        << more << '\n';
  return kExitFailed;
}

int Run(const std::vector<std::string>& args, const std::string& exe_path, std::ostream& out,
        std::ostream& err) {
  std::optional<std::string> data_file;
  LinkOptions link;
  bool raw = false;
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
    if (option == "--raw") {
      raw = true;
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
      if (!value ||
          std::from_chars(value->data(), value->data() + value->size(), ms).ptr !=
              value->data() + value->size() ||
          ms < 1 || ms > 1000)
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
  Context context{*data_file, link, out, err, raw};
  return command->run(context, operands);
}

}  // namespace kavro::cli
