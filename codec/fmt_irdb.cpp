#include "codec/fmt_irdb.h"

#include <array>
#include <climits>

#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

constexpr size_t kFields = 5;

struct Row {
  std::array<std::string, kFields> fields;
  size_t count = 0;  // every field of the line, also those beyond the five
  std::string error;
};

// The fields of one CSV line; a quoted field may hold commas and "" for a quote.
Row SplitRow(std::string_view line) {
  Row row;
  size_t i = 0;
  while (true) {
    std::string field;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) {
          row.error = "a quoted field without its closing quote";
          return row;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i < line.size() && line[i] != ',') {
        row.error = "text after a quoted field";
        return row;
      }
    } else {
      const size_t comma = line.find(',', i);
      const size_t end = comma == std::string_view::npos ? line.size() : comma;
      field = std::string(Trim(line.substr(i, end - i)));
      i = end;
    }
    if (row.count < kFields) row.fields[row.count] = std::move(field);
    ++row.count;
    if (i >= line.size()) return row;
    ++i;  // the comma
  }
}

bool IsHeader(const Row& row) {
  static constexpr std::array<std::string_view, kFields> kNames = {
      "functionname", "protocol", "device", "subdevice", "function"};
  if (row.count != kFields || !row.error.empty()) return false;
  for (size_t i = 0; i < kFields; ++i) {
    if (!EqualsNoCase(Trim(row.fields[i]), kNames[i])) return false;
  }
  return true;
}

std::optional<int> Integer(std::string_view text) {
  const std::optional<int64_t> value = ParseDecimal(Trim(text));
  if (!value || *value < INT_MIN || *value > INT_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

ImportEntry ReadRow(const Row& row, int line) {
  ImportEntry entry;
  entry.name = std::string(Trim(row.fields[0]));
  if (entry.name.empty()) entry.name = "line " + std::to_string(line);
  if (!row.error.empty()) {
    entry.error = LineError(line, row.error);
    return entry;
  }
  if (row.count != kFields) {
    entry.error = LineError(line, std::to_string(row.count) + " fields where 5 belong (" +
                                      std::string(kIrdbHeader) + ")");
    return entry;
  }
  EncodeRequest request;
  request.protocol = std::string(Trim(row.fields[1]));
  if (request.protocol.empty()) {
    entry.error = LineError(line, "no protocol");
    return entry;
  }
  static constexpr std::array<std::string_view, 3> kNumberNames = {"device", "subdevice",
                                                                   "function"};
  int* numbers[] = {&request.device, &request.subdevice, &request.function};
  for (size_t i = 0; i < 3; ++i) {
    const std::optional<int> value = Integer(row.fields[2 + i]);
    if (!value) {
      entry.error = LineError(line, std::string(kNumberNames[i]) + " " + Quoted(row.fields[2 + i]) +
                                        " is not a number");
      return entry;
    }
    *numbers[i] = *value;
  }
  entry.request = std::move(request);
  return entry;
}

}  // namespace

std::vector<ImportEntry> ParseIrdb(std::string_view content) {
  std::vector<ImportEntry> entries;
  LineReader lines(content);
  std::string_view line;
  bool first = true;
  while (lines.Next(line)) {
    if (IsBlankOrComment(line)) continue;
    const Row row = SplitRow(line);
    if (first) {
      first = false;
      if (IsHeader(row)) continue;
    }
    if (entries.size() >= kMaxEntries) {
      entries.push_back({"line " + std::to_string(lines.number()),
                         {},
                         {},
                         LineError(lines.number(), TooManyEntries())});
      break;
    }
    entries.push_back(ReadRow(row, lines.number()));
  }
  return entries;
}

bool LooksLikeIrdb(std::string_view first_line) {
  const Row row = SplitRow(first_line);
  if (IsHeader(row)) return true;
  const std::string_view protocol = Trim(row.fields[1]);
  const bool named = !protocol.empty() && ((protocol[0] >= 'A' && protocol[0] <= 'Z') ||
                                           (protocol[0] >= 'a' && protocol[0] <= 'z'));
  return row.error.empty() && row.count == kFields && named && Integer(row.fields[2]) &&
         Integer(row.fields[3]) && Integer(row.fields[4]);
}

}  // namespace kavro::codec
