#include "library/code_exchange.h"

#include <cstdio>
#include <set>

#include "codec/decode.h"
#include "codec/import.h"
#include "codec/pieces.h"
#include "codec/signal_settings.h"
#include "datafile/atomic_file.h"
#include "datafile/hex_text.h"
#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/records.h"
#include "datafile/sjis.h"
#include "link/sjis_utf8.h"

namespace kavro {

LibraryImport ImportForLibrary(const std::string& path, const std::string& data_file,
                               const std::vector<std::string>& entries) {
  LibraryImport result;
  std::string content;
  FileError error;
  const ReadOutcome read = ReadWholeFile(path, content, &error);
  if (read != ReadOutcome::kRead) {
    if (read == ReadOutcome::kMissing) error = {FileFault::kNotFound, 0};
    result.error = FileErrorText(path, error);
    return result;
  }
  const std::optional<codec::Format> format = codec::DetectFormat(content);
  if (!format) {
    result.error = path +
                   ": not a file of a known format (Pronto, raw timings, LIRC, Flipper, "
                   "IRDB CSV, Broadlink)";
    return result;
  }

  std::vector<SignalBlock> known;
  std::set<int> used;
  for (const std::string& entry : entries) {
    const std::optional<RecordEntryParts> parts = SplitRecordEntry(entry);
    if (!parts) continue;
    known.push_back(SignalBlockFromText(parts->data));
    if (const std::optional<int> number = LeadingDecimal(parts->number)) used.insert(*number);
  }
  const codec::SignalSettings settings = codec::ReadSignalSettings(data_file);
  const std::vector<codec::ImportedCode> made =
      codec::ConvertEntries(codec::ParseEntries(*format, content), settings.unit_ns, known);
  const std::vector<int> numbers = codec::FreeNumbers(made, used, kLibraryFirstCode);
  for (std::size_t i = 0; i < made.size(); ++i) {
    if (!made[i].block) {
      result.refused.push_back(made[i].name + ": " + made[i].error);
      continue;
    }
    result.entries.push_back(RecordKey(numbers[i]) + ' ' + BytesToHexText(made[i].block->bytes()) +
                             ' ' +
                             std::string(CutSjis(Utf8ToSjisReplacing(made[i].name), kCommentSlot)));
  }
  if (made.empty()) result.error = path + ": no codes in this file";
  return result;
}

codec::Outcome<std::string> ExportLibrary(codec::Format format,
                                          const std::vector<std::string>& entries,
                                          const std::string& data_file) {
  std::vector<codec::ExportCode> codes;
  for (const std::string& entry : entries) {
    const std::optional<RecordEntryParts> parts = SplitRecordEntry(entry);
    if (!parts) continue;
    const SignalBlock block = SignalBlockFromText(parts->data);
    codes.push_back({LeadingDecimal(parts->number).value_or(0), SjisToUtf8(parts->comment), block,
                     codec::Decode(block)});
  }
  const codec::SignalSettings settings = codec::ReadSignalSettings(data_file);
  return codec::WriteEntries(format, codes, {settings.unit_ns, settings.carrier_hz});
}

std::string DecodeLine(std::string_view data_text, std::optional<double> unit_ns) {
  const SignalBlock block = SignalBlockFromText(data_text);
  std::string line = codec::DecodeSummary(codec::Decode(block));
  if (unit_ns) {
    long long counts = 0;
    for (const codec::Piece& piece : codec::WalkBlock(block)) counts += piece.counts;
    char duration[32];
    std::snprintf(duration, sizeof duration, "  %.1f ms", counts * *unit_ns / 1e6);
    line += duration;
  }
  return line;
}

}  // namespace kavro
