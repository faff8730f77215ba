#include "codec/fmt_flipper.h"

#include <cstdio>

#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"
#include "codec/signal_settings.h"

namespace kavro::codec {
namespace {

// An entry as its lines come, read when the next "name:" or the end of the file closes it.
struct PendingEntry {
  int line = 0;  // of its "name:"
  std::string name, type, protocol, address, command, frequency;
  std::vector<int32_t> data;
  std::string error;  // the first problem found in its lines
};

// "04 00 00 00": four hex bytes, the lowest first.
std::optional<uint32_t> LittleEndian(std::string_view text) {
  Tokens tokens(text, kBlanks);
  std::string_view token;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    if (!tokens.Next(token) || token.size() != 2) return std::nullopt;
    const std::optional<uint64_t> byte = ParseHex(token);
    if (!byte) return std::nullopt;
    value |= static_cast<uint32_t>(*byte) << (8 * i);
  }
  if (tokens.Next(token)) return std::nullopt;
  return value;
}

std::string LittleEndianText(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 0xFF, (value >> 8) & 0xFF,
                (value >> 16) & 0xFF, value >> 24);
  return text;
}

Outcome<IrSignal> RawSignal(const PendingEntry& pending) {
  IrSignal signal;
  if (!pending.frequency.empty()) {
    const std::optional<int64_t> hz = ParseDecimal(pending.frequency);
    if (!hz || *hz <= 0 || *hz > 1'000'000) {
      return Outcome<IrSignal>::Fail("frequency " + Quoted(pending.frequency) +
                                     " is not a carrier in Hz");
    }
    signal.carrier_hz = static_cast<int>(*hz);
  }
  if (pending.data.empty()) return Outcome<IrSignal>::Fail("a raw entry without data");
  signal.intro = pending.data;
  return signal;
}

Outcome<EncodeRequest> ParsedRequest(const PendingEntry& pending) {
  using Result = Outcome<EncodeRequest>;
  if (pending.protocol.empty()) return Result::Fail("a parsed entry without a protocol");
  const std::optional<uint32_t> address = LittleEndian(pending.address);
  if (!address) return Result::Fail("address " + Quoted(pending.address) + " is not 4 hex bytes");
  const std::optional<uint32_t> command = LittleEndian(pending.command);
  if (!command) return Result::Fail("command " + Quoted(pending.command) + " is not 4 hex bytes");
  return RequestFromFlipper(pending.protocol, *address, *command);
}

ImportEntry Finish(const PendingEntry& pending) {
  ImportEntry entry;
  entry.name = pending.name.empty() ? "line " + std::to_string(pending.line) : pending.name;
  std::string problem = pending.error;
  if (problem.empty()) {
    if (pending.type == "parsed") {
      Outcome<EncodeRequest> request = ParsedRequest(pending);
      if (request) entry.request = std::move(request).value();
      problem = request.reason();
    } else if (pending.type == "raw") {
      Outcome<IrSignal> signal = RawSignal(pending);
      if (signal) entry.signal = std::move(signal).value();
      problem = signal.reason();
    } else if (pending.type.empty()) {
      problem = "an entry without a type";
    } else {
      problem = "type " + Quoted(pending.type) + " is neither parsed nor raw";
    }
  }
  if (!problem.empty()) entry.error = LineError(pending.line, problem);
  return entry;
}

void Take(PendingEntry& pending, std::string_view key, std::string_view value, int line) {
  if (key == "type") {
    pending.type = value;
  } else if (key == "protocol") {
    pending.protocol = value;
  } else if (key == "address") {
    pending.address = value;
  } else if (key == "command") {
    pending.command = value;
  } else if (key == "frequency") {
    pending.frequency = value;
  } else if (key == "data" && pending.error.empty()) {
    const std::string problem = ReadUnsignedDurations(value, pending.data);
    if (!problem.empty()) pending.error = problem + " (line " + std::to_string(line) + ")";
  }
  // duty_cycle and keys of later versions say nothing the block can hold.
}

}  // namespace

std::vector<ImportEntry> ParseFlipper(std::string_view content) {
  std::vector<ImportEntry> entries;
  PendingEntry pending;
  bool open = false;  // an entry has begun: lines before the first "name:" are the header
  LineReader lines(content);
  std::string_view line;
  while (lines.Next(line)) {
    if (IsBlankOrComment(line)) continue;
    const size_t colon = line.find(':');
    const std::string_view key = Trim(line.substr(0, colon));
    const std::string_view value =
        colon == std::string_view::npos ? std::string_view() : Trim(line.substr(colon + 1));
    if (colon != std::string_view::npos && key == "name") {
      if (open) entries.push_back(Finish(pending));
      if (entries.size() >= kMaxEntries) {
        entries.push_back({"line " + std::to_string(lines.number()),
                           {},
                           {},
                           LineError(lines.number(), TooManyEntries())});
        return entries;
      }
      pending = PendingEntry();
      pending.line = lines.number();
      pending.name = value;
      open = true;
      continue;
    }
    if (!open) continue;
    if (colon == std::string_view::npos) {
      if (pending.error.empty()) {
        pending.error = Quoted(line) + " is not a \"key: value\" line (line " +
                        std::to_string(lines.number()) + ")";
      }
      continue;
    }
    Take(pending, key, value, lines.number());
  }
  if (open) entries.push_back(Finish(pending));
  if (entries.empty()) entries.push_back({"line 1", {}, {}, "no \"name:\" entry in the file"});
  return entries;
}

Outcome<std::string> WriteFlipper(std::span<const ExportCode> codes, const ExportOptions& options) {
  std::string out = "Filetype: IR signals file\nVersion: 1\n";
  UniqueNames names;
  for (const ExportCode& code : codes) {
    const std::optional<FlipperParsed> parsed =
        code.block.IsEmpty() ? std::nullopt : FlipperFromDecoded(code.decoded);
    if (parsed) {
      out += "#\nname: " + names.Take(SafeName(code.comment, code.number)) +
             "\ntype: parsed\nprotocol: " + parsed->protocol +
             "\naddress: " + LittleEndianText(parsed->address) +
             "\ncommand: " + LittleEndianText(parsed->command) + "\n";
      continue;
    }
    if (!HasUnit(options)) return Outcome<std::string>::Fail(NoUnitMessage());
    const Outcome<IrSignal> signal = CodeSignal(code, options);
    if (!signal) {
      out += LeftOutLine(code, signal.reason());
      continue;
    }
    // Flipper's raw data ends on a mark: the last space holds nothing a receiver sees.
    std::vector<int32_t> data = signal->intro;
    if (!data.empty() && data.back() < 0) data.pop_back();
    out += "#\nname: " + names.Take(SafeName(code.comment, code.number)) +
           "\ntype: raw\nfrequency: " + std::to_string(signal->carrier_hz) +
           "\nduty_cycle: 0.330000\ndata:";
    for (const int32_t us : data) out += " " + std::to_string(us < 0 ? -us : us);
    out += "\n";
  }
  return out;
}

}  // namespace kavro::codec
