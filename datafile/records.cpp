#include "datafile/records.h"

#include <cstdio>

#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/sjis.h"

namespace kavro {
namespace {

std::size_t SkipSpace(std::string_view s, std::size_t i) {
  while (i < s.size() && IsTextSpace(s[i])) ++i;
  return i;
}

std::size_t SkipWord(std::string_view s, std::size_t i) {
  while (i < s.size() && !IsTextSpace(s[i])) ++i;
  return i;
}

RecordText MakeText(std::string_view data, std::string_view comment) {
  return {std::string(CutSjis(data, kDataTextSlot)), std::string(CutSjis(comment, kCommentSlot))};
}

}  // namespace

std::optional<CodeRecord> ReadMainWindowRecordLine(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::optional<int> number = LeadingDecimal(line);
  if (!number || *number < kMainWindowFirstCode || *number > kMainWindowLastCode) {
    return std::nullopt;
  }
  // The comment starts after the data word and the blanks after it, also when blanks stand
  // before the word (a hand-written "0012 = 8A1F TV"); starting the skip at the space itself
  // would take the data text for the comment.
  const std::size_t data_begin = SkipSpace(line, space + 1);
  const std::size_t data_end = SkipWord(line, data_begin);
  const std::size_t comment_begin = SkipSpace(line, data_end);
  return CodeRecord{*number, MakeText(line.substr(data_begin, data_end - data_begin),
                                      line.substr(comment_begin))};
}

std::optional<RecordText> ReadRecordValue(std::string_view value) {
  const std::size_t data_begin = SkipSpace(value, 0);
  const std::size_t data_end = SkipWord(value, data_begin);
  if (data_end == data_begin) return std::nullopt;
  std::string_view comment;
  const std::size_t space = value.find(' ', data_end);
  if (space != std::string_view::npos) {
    comment = value.substr(space + 1);
    comment = comment.substr(0, comment.find('\n'));
  }
  return MakeText(value.substr(data_begin, data_end - data_begin), comment);
}

std::optional<std::string> LibraryEntryFromLine(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::optional<int> number = LeadingDecimal(line);
  if (!number) return std::nullopt;
  std::string entry = RecordKey(*number);
  entry += ' ';
  entry += line.substr(space + 1);
  return entry;
}

std::optional<RecordEntryParts> SplitRecordEntry(std::string_view entry) {
  const std::size_t number_begin = SkipSpace(entry, 0);
  const std::size_t number_end = SkipWord(entry, number_begin);
  const std::size_t data_begin = SkipSpace(entry, number_end);
  const std::size_t data_end = SkipWord(entry, data_begin);
  if (number_end == number_begin || data_end == data_begin) return std::nullopt;
  return RecordEntryParts{entry.substr(number_begin, number_end - number_begin),
                          entry.substr(data_begin, data_end - data_begin),
                          entry.substr(SkipSpace(entry, data_end))};
}

std::string RecordKey(int number) {
  char key[16];
  std::snprintf(key, sizeof key, "%04d", number);
  return key;
}

std::string RecordValue(std::string_view data, std::string_view comment) {
  std::string value(data);
  value += ' ';
  value += comment;
  return value;
}

std::string LibrarySectionLine(int number, std::string_view rest) {
  std::string line = RecordKey(number);
  line += '=';
  line += rest;
  return line;
}

}  // namespace kavro
