// The IR code record: one line of section "Data", key the code number as "%04d", value the data
// text, one space and the comment. Readers for the main window and the library window, and the
// writers of both.
//
// Readers that fill the main window's fixed slots cut a longer data text to 60 bytes and a longer
// comment to 20 bytes, on a character boundary, instead of refusing the record: a hand-edited
// record then still loads and can be sent, and the file itself is left as it is. The library
// entry is not cut: the library rewrites the whole section from its entries, and a cut there
// would lose the text in the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavro {

struct RecordText {
  std::string data;     // at most 60 bytes
  std::string comment;  // at most 20 bytes
};

struct CodeRecord {
  int number = 0;
  RecordText text;
};

// A line of section "Data" as the section reader returns it (key, a space, value), read for the
// main window: the key must begin with a decimal number in 0..249 and the line must hold a
// space. The data text is the first word after that space; the comment is what follows the word
// and the blanks after it. The data text may come out empty (the record then counts as absent).
std::optional<CodeRecord> ReadMainWindowRecordLine(std::string_view line);

// The value of one record as read by key: the data text is its first word; the comment is what
// follows the first space after that word, up to a line feed. Nothing when there is no word.
std::optional<RecordText> ReadRecordValue(std::string_view value);

// A line of section "Data" made into a library entry: the leading number as "%04d", a space and
// everything after the first space of the line. Nothing without a space or a leading number.
// Every number is taken, whatever its range.
std::optional<std::string> LibraryEntryFromLine(std::string_view line);

// The number, data text and comment of a library entry or of a section line as the reader returns
// it ("0300 8A1F tv set"): the first two words, and what follows the second word and the blanks
// after it. Nothing when either word is missing. The views point into `entry`.
struct RecordEntryParts {
  std::string_view number;
  std::string_view data;
  std::string_view comment;
};
std::optional<RecordEntryParts> SplitRecordEntry(std::string_view entry);

// Key of record `number`: "%04d".
std::string RecordKey(int number);

// Value of a record as the main window writes it: data text, one space, comment (the space is
// written also when the comment is empty).
std::string RecordValue(std::string_view data, std::string_view comment);

// A line of the section as the library window writes it: "%04d=" and the rest of an entry.
std::string LibrarySectionLine(int number, std::string_view rest);

}  // namespace kavro
