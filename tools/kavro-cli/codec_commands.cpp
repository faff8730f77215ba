#include "tools/kavro-cli/codec_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <set>
#include <vector>

#include "codec/calibrate.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/formats.h"
#include "codec/import.h"
#include "codec/signal_settings.h"
#include "datafile/atomic_file.h"
#include "datafile/hex_text.h"
#include "datafile/layout.h"
#include "datafile/records.h"
#include "datafile/sjis.h"
#include "datafile/store.h"
#include "link/sjis_utf8.h"
#include "tools/kavro-cli/cli_text.h"

namespace kavro::cli {
namespace {

using codec::Decoded;

// One record of section Data as these commands see it.
struct StoredCode {
  int number = 0;
  std::string comment;  // Shift-JIS
  SignalBlock block;
};

// Every record the library window would list, in file order.
FileError LoadCodes(const Context& c, std::vector<StoredCode>& codes) {
  FileError error;
  std::string line = "start";
  for (int got = ReadSectionLine(c.data_file, kDataSection, line, &error); got == 0;
       got = ReadSectionLine(c.data_file, kDataSection, line)) {
    const std::optional<std::string> entry = LibraryEntryFromLine(line);
    line.clear();  // never hand a line back that reads as a control word
    if (!entry) continue;
    const std::optional<RecordEntryParts> parts = SplitRecordEntry(*entry);
    if (!parts) continue;
    codes.push_back({ParseRecordNumber(parts->number).value_or(-1), std::string(parts->comment),
                     SignalBlockFromText(parts->data)});
  }
  line = "end";
  ReadSectionLine(c.data_file, kDataSection, line);
  return error;
}

// The codes named by `numbers` (all when none), in that order; a number without a code is said
// on the error stream and makes `missing` true.
std::vector<const StoredCode*> Select(const Context& c, const std::vector<StoredCode>& codes,
                                      const std::vector<int>& numbers, bool& missing) {
  std::vector<const StoredCode*> chosen;
  if (numbers.empty()) {
    for (const StoredCode& code : codes) chosen.push_back(&code);
    return chosen;
  }
  for (const int number : numbers) {
    const auto found = std::find_if(codes.begin(), codes.end(),
                                    [&](const StoredCode& code) { return code.number == number; });
    if (found == codes.end()) {
      c.err << "kavro-cli: no code " << RecordKey(number) << " in " << c.data_file << '\n';
      missing = true;
    } else {
      chosen.push_back(&*found);
    }
  }
  return chosen;
}

// Operands N... as record numbers; false after a message when one is not.
bool ParseNumbers(const Context& c, Operands ops, std::vector<int>& numbers) {
  for (const std::string& op : ops) {
    const std::optional<int> number = ParseRecordNumber(op);
    if (!number) {
      InputError(c.err, "N must be a record number (decimal digits): \"" + op + "\"");
      return false;
    }
    numbers.push_back(*number);
  }
  return true;
}

std::string Field(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string("-");
}

// A JSON string literal of UTF-8 text.
std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + '"';
}

std::string JsonNumber(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string("null");
}

std::string DecodeJson(const StoredCode& code, const Decoded& d) {
  return "{\"number\": " + std::to_string(code.number) +
         ", \"protocol\": " + (d.Known() ? JsonString(d.protocol) : std::string("null")) +
         ", \"device\": " + JsonNumber(d.device) + ", \"subdevice\": " + JsonNumber(d.subdevice) +
         ", \"function\": " + JsonNumber(d.function) +
         ", \"confident\": " + (d.confident ? "true" : "false") +
         ", \"frames\": " + std::to_string(d.frames) + ", \"bits\": " + std::to_string(d.bits) +
         ", \"coding\": " + (d.width_coding ? "\"width\"" : "\"distance\"") +
         ", \"comment\": " + JsonString(SjisToUtf8(code.comment)) + "}";
}

// The unit and carrier; false after a message when the file cannot be read.
bool LoadSettings(const Context& c, codec::SignalSettings& settings) {
  FileError error;
  settings = codec::ReadSignalSettings(c.data_file, &error);
  if (error) ReadFailure(c, error);
  return !error;
}

std::vector<SignalBlock> Blocks(const std::vector<StoredCode>& codes) {
  std::vector<SignalBlock> blocks;
  blocks.reserve(codes.size());
  for (const StoredCode& code : codes) blocks.push_back(code.block);
  return blocks;
}

// "--name VALUE" at ops[i] (advancing i), or nothing after a message.
std::optional<std::string> OptionValue(const Context& c, Operands ops, std::size_t& i) {
  if (i + 1 >= ops.size()) {
    InputError(c.err, ops[i] + " needs a value");
    return std::nullopt;
  }
  return ops[++i];
}

// "--format NAME" at ops[i] (advancing i) into `format`; false after a message naming `choices`.
bool FormatOption(const Context& c, Operands ops, std::size_t& i,
                  std::optional<codec::Format>& format, std::string_view choices) {
  const std::optional<std::string> name = OptionValue(c, ops, i);
  if (!name) return false;
  format = codec::FormatFromName(*name);
  if (!format) InputError(c.err, "--format must be " + std::string(choices));
  return format.has_value();
}

bool ParseInt(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

}  // namespace

int DecodeCommand(Context& c, Operands ops) {
  bool json = false;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i] == "--json") {
      json = true;
    } else if (!ParseNumbers(c, ops.subspan(i, 1), numbers)) {
      return kExitUsage;
    }
  }
  std::vector<StoredCode> codes;
  if (const FileError error = LoadCodes(c, codes)) return ReadFailure(c, error);
  bool missing = false;
  const std::vector<const StoredCode*> chosen = Select(c, codes, numbers, missing);
  if (json) c.out << '[';
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const StoredCode& code = *chosen[i];
    const Decoded d = codec::Decode(code.block);
    if (json) {
      c.out << (i == 0 ? "\n  " : ",\n  ") << DecodeJson(code, d);
      continue;
    }
    PrintLine(c.out, RecordKey(code.number) + '\t' + (d.Known() ? d.protocol : "-") + '\t' +
                         Field(d.device) + '\t' + Field(d.subdevice) + '\t' + Field(d.function) +
                         '\t' + ForTerminal(code.comment, c.raw));
  }
  if (json) c.out << (chosen.empty() ? "]\n" : "\n]\n");
  return missing ? kExitFailed : kExitOk;
}

int CalibrateCommand(Context& c, Operands ops) {
  bool dry_run = false;
  for (const std::string& op : ops) {
    if (op != "--dry-run") return InputError(c.err, "calibrate takes only --dry-run");
    dry_run = true;
  }
  std::vector<StoredCode> codes;
  if (const FileError error = LoadCodes(c, codes)) return ReadFailure(c, error);
  const std::vector<SignalBlock> blocks = Blocks(codes);
  const codec::Outcome<codec::Calibration> calibration = codec::Calibrate(blocks);
  if (!calibration) {
    c.err << "kavro-cli: " << calibration.reason() << '\n';
    return kExitFailed;
  }
  const long long unit_ns = std::llround(calibration->unit_ns);
  char line[160];
  std::snprintf(line, sizeof line, "unit %lld ns per count, from %d codes, spread %.1f %%", unit_ns,
                calibration->supporting, calibration->spread_percent);
  PrintLine(c.out, line);
  for (const codec::FamilyFit& family : calibration->families) {
    std::snprintf(line, sizeof line, "  %s: %d codes, %.0f ns", family.family.c_str(), family.codes,
                  family.unit_ns);
    PrintLine(c.out, line);
  }
  for (const std::string& warning : calibration->warnings) PrintLine(c.out, "warning: " + warning);
  if (dry_run) return kExitOk;
  FileError error;
  if (WriteKeyValue(c.data_file, codec::kUnitNsSetting.section, codec::kUnitNsSetting.key,
                    std::to_string(unit_ns), &error) != 0)
    return WriteFailure(c, error);
  return kExitOk;
}

int EncodeCommand(Context& c, Operands ops) {
  if (ops.size() != 4 && ops.size() != 7)
    return InputError(c.err, "encode PROTOCOL DEVICE SUBDEVICE FUNCTION [--store N COMMENT]");
  codec::EncodeRequest request;
  request.protocol = ops[0];
  if (!ParseInt(ops[1], request.device) || !ParseInt(ops[2], request.subdevice) ||
      !ParseInt(ops[3], request.function))
    return InputError(c.err, "DEVICE, SUBDEVICE and FUNCTION must be whole numbers (-1: default)");
  std::optional<int> store_as;
  std::string comment;
  if (ops.size() == 7) {
    if (ops[4] != "--store") return InputError(c.err, "expected --store N COMMENT");
    store_as = ParseRecordNumber(ops[5]);
    if (!store_as) return InputError(c.err, "N must be a record number (decimal digits)");
    std::string error;
    const std::optional<std::string> sjis = CommentToShiftJis(ops[6], c.raw, error);
    if (!sjis) return InputError(c.err, error);
    comment = *sjis;
  }

  codec::SignalSettings settings;
  if (!LoadSettings(c, settings)) return kExitFailed;
  std::vector<StoredCode> codes;
  if (const FileError error = LoadCodes(c, codes)) return ReadFailure(c, error);
  const std::vector<codec::ImportEntry> entry{{ops[0], std::nullopt, request, {}}};
  const std::vector<codec::ImportedCode> made =
      codec::ConvertEntries(entry, settings.unit_ns, Blocks(codes));
  if (!made.front().block) {
    c.err << "kavro-cli: " << made.front().error << '\n';
    // Without a unit the data file lacks something; anything else is the request's fault.
    return made.front().error.ends_with(codec::NoUnitMessage()) ? kExitFailed : kExitUsage;
  }
  const std::string data = BytesToHexText(made.front().block->bytes());
  PrintLine(c.out, data);
  if (!store_as) return kExitOk;
  FileError error;
  if (WriteKeyValue(c.data_file, kDataSection, RecordKey(*store_as), RecordValue(data, comment),
                    &error) != 0)
    return WriteFailure(c, error);
  return kExitOk;
}

int ExportCommand(Context& c, Operands ops) {
  std::optional<codec::Format> format;
  std::optional<std::string> output;
  std::vector<int> numbers;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i] == "--format") {
      if (!FormatOption(c, ops, i, format, "pronto, raw, lirc, flipper or broadlink"))
        return kExitUsage;
    } else if (ops[i] == "-o") {
      output = OptionValue(c, ops, i);
      if (!output || output->empty()) return InputError(c.err, "-o needs a file name");
    } else if (!ParseNumbers(c, ops.subspan(i, 1), numbers)) {
      return kExitUsage;
    }
  }
  if (!format) return InputError(c.err, "export needs --format pronto|raw|lirc|flipper|broadlink");

  codec::SignalSettings settings;
  if (!LoadSettings(c, settings)) return kExitFailed;
  std::vector<StoredCode> codes;
  if (const FileError error = LoadCodes(c, codes)) return ReadFailure(c, error);
  bool missing = false;
  std::vector<codec::ExportCode> chosen;
  for (const StoredCode* code : Select(c, codes, numbers, missing))
    chosen.push_back(
        {code->number, SjisToUtf8(code->comment), code->block, codec::Decode(code->block)});
  const codec::Outcome<std::string> text =
      codec::WriteEntries(*format, chosen, {settings.unit_ns, settings.carrier_hz});
  if (!text) {
    c.err << "kavro-cli: " << text.reason() << '\n';
    return kExitFailed;
  }
  if (!output) {
    c.out << *text;
  } else {
    FileError error;
    if (ReplaceFileContent(*output, *text, ReplaceMode::kExisting, &error) != 0) {
      c.err << "kavro-cli: could not write " << FileErrorText(*output, error) << '\n';
      return kExitFailed;
    }
  }
  return missing ? kExitFailed : kExitOk;
}

int ImportCommand(Context& c, Operands ops) {
  std::optional<std::string> file;
  std::optional<codec::Format> format;
  int first_number = kLibraryFirstCode;
  bool dry_run = false;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i] == "--format") {
      if (!FormatOption(c, ops, i, format, "pronto, raw, lirc, flipper, irdb or broadlink"))
        return kExitUsage;
    } else if (ops[i] == "--from") {
      const std::optional<std::string> from = OptionValue(c, ops, i);
      if (!from) return kExitUsage;
      const std::optional<int> number = ParseRecordNumber(*from);
      if (!number) return InputError(c.err, "--from must be a record number");
      first_number = *number;
    } else if (ops[i] == "--dry-run") {
      dry_run = true;
    } else if (!file) {
      file = ops[i];
    } else {
      return InputError(c.err, "import takes one FILE");
    }
  }
  if (!file) return InputError(c.err, "import FILE [--format F] [--from N] [--dry-run]");

  std::string content;
  FileError read_error;
  const ReadOutcome read = ReadWholeFile(*file, content, &read_error);
  if (read != ReadOutcome::kRead) {
    if (read == ReadOutcome::kMissing) read_error = {FileFault::kNotFound, 0};
    c.err << "kavro-cli: " << FileErrorText(*file, read_error) << '\n';
    return kExitFailed;
  }
  if (!format) format = codec::DetectFormat(content);
  if (!format) return InputError(c.err, "cannot tell the format of " + *file + ": give --format");

  codec::SignalSettings settings;
  if (!LoadSettings(c, settings)) return kExitFailed;
  std::vector<StoredCode> codes;
  if (const FileError error = LoadCodes(c, codes)) return ReadFailure(c, error);
  const std::vector<codec::ImportEntry> entries = codec::ParseEntries(*format, content);
  const std::vector<codec::ImportedCode> made =
      codec::ConvertEntries(entries, settings.unit_ns, Blocks(codes));

  std::set<int> used;
  for (const StoredCode& code : codes) used.insert(code.number);
  const std::vector<int> numbers = codec::FreeNumbers(made, used, first_number);
  std::vector<KeyValue> records;
  int refused = 0;
  for (std::size_t i = 0; i < made.size(); ++i) {
    const codec::ImportedCode& code = made[i];
    const std::string name = Utf8ToTerminal(code.name);
    if (!code.block) {
      ++refused;
      PrintLine(c.out, "refused: " + name + ": " + Utf8ToTerminal(code.error));
      continue;
    }
    const std::string key = RecordKey(numbers[i]);
    PrintLine(c.out, (dry_run ? "would store as " : "stored as ") + key + ": " + name);
    const std::string comment(CutSjis(Utf8ToSjisReplacing(code.name), kCommentSlot));
    records.push_back({key, RecordValue(BytesToHexText(code.block->bytes()), comment)});
  }
  if (made.empty()) PrintLine(c.out, "no entries in " + *file);
  if (!dry_run && !records.empty()) {
    FileError error;
    if (AddKeyValues(c.data_file, kDataSection, records, &error) != 0)
      return WriteFailure(c, error);
  }
  return refused == 0 && !made.empty() ? kExitOk : kExitFailed;
}

}  // namespace kavro::cli
