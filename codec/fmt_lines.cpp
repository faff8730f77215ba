#include "codec/fmt_lines.h"

#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

// The name of a line: the field before the text of "name<TAB>text", the comment of
// "NNNN<TAB>comment<TAB>text" (with any further tabs inside it).
std::string_view LineName(std::string_view line) {
  const size_t first = line.find('\t');
  if (first == std::string_view::npos) return {};
  const size_t last = line.rfind('\t');
  if (first == last) return Trim(line.substr(0, first));
  return Trim(line.substr(first + 1, last - first - 1));
}

}  // namespace

std::string_view LineText(std::string_view line) {
  const size_t last = line.rfind('\t');
  return Trim(last == std::string_view::npos ? line : line.substr(last + 1));
}

std::vector<ImportEntry> ParseLineEntries(std::string_view content, TextParser parse) {
  std::vector<ImportEntry> entries;
  LineReader lines(content);
  std::string_view line;
  while (lines.Next(line)) {
    if (IsBlankOrComment(line)) continue;
    if (entries.size() >= kMaxEntries) {
      entries.push_back({"line " + std::to_string(lines.number()),
                         {},
                         {},
                         LineError(lines.number(), TooManyEntries())});
      break;
    }
    ImportEntry entry;
    entry.name = LineName(line);
    if (entry.name.empty()) entry.name = "line " + std::to_string(lines.number());
    Outcome<IrSignal> signal = parse(LineText(line));
    if (signal) {
      entry.signal = std::move(signal).value();
    } else {
      entry.error = LineError(lines.number(), signal.reason());
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string WriteLineEntries(std::span<const ExportCode> codes, const ExportOptions& options,
                             TextWriter write) {
  std::string out;
  for (const ExportCode& code : codes) {
    Outcome<IrSignal> signal = CodeSignal(code, options);
    Outcome<std::string> text =
        signal ? write(*signal) : Outcome<std::string>::Fail(signal.reason());
    if (!text) {
      out += LeftOutLine(code, text.reason());
      continue;
    }
    out += CodeNumber(code.number) + "\t" + OneLine(code.comment) + "\t" + *text + "\n";
  }
  return out;
}

}  // namespace kavro::codec
