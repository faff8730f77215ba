// The data file store: a text file of "[section]" headers and "key=value" lines.
//
// Every operation opens the file by name, scans it from the first line and closes it again; the
// two line-by-line operations keep it open between their calls. Text is handled as bytes
// (Shift-JIS passes through untouched). Nothing here reports to the user: results are 0 or -1.
#pragma once

#include <string>
#include <string_view>

namespace kavro {

// Fills `value` with the value of `key` in `section`, or with `deflt` when the file, the
// section or the key is missing. Always returns 0.
int ReadKeyValue(const std::string& path, std::string_view section, std::string_view key,
                 std::string& value, std::string_view deflt);

// Sets `key` in `section` to `value`, adding the key, the section or the whole file where they
// are missing. Returns 0 when the file now holds the new value, -1 when it could not be read,
// created or rewritten (the file is then unchanged).
int WriteKeyValue(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value);

// Reads a section line by line. `buffer` carries a control word in and a line out:
//   "start": begins reading `section` and returns its first line;
//   "end":   closes the reader and returns 0, leaving `buffer` as it was;
//   other:   returns the next line.
// A returned line is the key line with its first "=" replaced by a space. Returns 0 with a line
// in `buffer`, or -1 with `buffer` emptied when there is no further line. One reader is shared
// by all callers.
int ReadSectionLine(const std::string& path, std::string_view section, std::string& buffer);

// Replaces the whole body of a section. `line` is "start", "end" or the text of one new line.
//   "start": begins the rewrite; 0, or -1 when the file cannot be read or copied;
//   other:   appends one line to the new body; 0;
//   "end":   writes the file back; 0 or -1 (0 at once when no rewrite was begun).
// One rewrite is shared by all callers.
int WriteSectionLine(const std::string& path, std::string_view section, std::string_view line);

}  // namespace kavro
