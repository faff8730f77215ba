// The data file store: a text file of "[section]" headers and "key=value" lines.
//
// Every operation reads the file by name and scans it from the first line; the two line-by-line
// operations keep what they read between their calls. Text is handled as bytes (Shift-JIS passes
// through untouched); lines of any length are read whole; CR LF or LF breaks are read and every
// rewrite writes CR LF. Section and key names ignore the case of a to z only; only the first
// section of a name, and the first key line of a name in it, count: later duplicates are copied
// through untouched. A change replaces the file as a whole, so a failed or interrupted change
// leaves the old file. Every change holds DataFileLock from its read to its write, so changes of
// several programs never undo each other; reads take no lock, since a reader always sees a whole
// file. Nothing here reports to the user: results are 0 or -1, and a caller that passes a
// FileError learns why (it is kNone after a success). An empty path reads as a missing file and
// is never written.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "datafile/file_error.h"

namespace kavro {

// kNone when the file at `path` can be read or does not exist (it then reads as defaults),
// otherwise why it cannot be read. Reads nothing but the file's kind and size.
FileError ProbeReadable(const std::string& path);

// Fills `value` with the value of `key` in `section`, or with `deflt` when the file, the
// section or the key is missing. Always returns 0. A file that is there but cannot be read
// also gives `deflt`; `*error` then tells why.
int ReadKeyValue(const std::string& path, std::string_view section, std::string_view key,
                 std::string& value, std::string_view deflt, FileError* error = nullptr);

// Sets `key` in `section` to `value`, adding the key, the section or the whole file where they
// are missing. Returns 0 when the file now holds the new value, -1 when it could not be read,
// created or rewritten (the file is then unchanged).
int WriteKeyValue(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value, FileError* error = nullptr);

// Removes the line of `key` in `section` (the first, as every reader sees only that one).
// Returns 1 when it was removed, 0 when there was none (the file is not touched), -1 when the
// file could not be read or rewritten (it is then unchanged).
int DeleteKeyValue(const std::string& path, std::string_view section, std::string_view key,
                   FileError* error = nullptr);

struct KeyValue {
  std::string key;
  std::string value;
};

// Adds key lines at the end of the body of `section` (making the section, or the file, where
// missing) in one rewrite, so that storing many codes costs one write and not one per code. The
// keys are not looked up: callers give keys the section does not hold (an old line of the same
// key would stay first and hide the new one). 0, or -1 with the file unchanged.
int AddKeyValues(const std::string& path, std::string_view section,
                 std::span<const KeyValue> entries, FileError* error = nullptr);

// Whether `section` of `path` holds a key line, without touching the shared section reader.
// When it holds none, every key of it reads as its default and need not be looked up.
bool SectionHasLines(const std::string& path, std::string_view section);

// Reads a section line by line. `buffer` carries a control word in and a line out:
//   "start": begins reading `section` of `path` (the only call that looks at them) and returns
//            its first line;
//   "end":   closes the reader and returns 0, leaving `buffer` as it was;
//   other:   returns the next line.
// A returned line is the key line with its first "=" replaced by a space. Returns 0 with a line
// in `buffer`, or -1 with `buffer` emptied when there is no further line (also on every call
// after the section has ended). One reader is shared by all callers. On "start", `*error`
// tells why when the file is there but cannot be read (a missing file or section is no error).
int ReadSectionLine(const std::string& path, std::string_view section, std::string& buffer,
                    FileError* error = nullptr);

// Replaces the whole body of a section. `line` is "start", "end" or the text of one new line.
//   "start": begins the rewrite of `section` of `path` (releasing one still open); 0, or -1
//            when the file cannot be read;
//   other:   appends one line to the new body; 0 (-1 when no rewrite is open);
//   "end":   writes the file back; 0 or -1 (0 at once when no rewrite was begun).
// A missing section is appended at the end with no empty line before it. The file on disk is
// untouched until "end"; the data file's lock is held from "start" until the rewrite ends or is
// released. One rewrite is shared by all callers. `*error` tells why for every -1 (a missing
// file is kNotFound; a line without an open rewrite is kIoError with EBADF).
int WriteSectionLine(const std::string& path, std::string_view section, std::string_view line,
                     FileError* error = nullptr);

// While a ReadSnapshot of `path` lives, the reads above of that path on this thread
// (ReadKeyValue, and ReadSectionLine's "start") read the file as it was when the first of them
// read it, with the same outcome and error, instead of reading it again: a window that loads
// thirty settings and its codes at once then reads and copies the file once rather than thirty
// times. Any change of `path` made here on this thread drops the copy (the next read reads the
// file again); changes by other programs meanwhile are seen by the first read after the
// snapshot ends, as if they had come just after it. Snapshots nest; an inner one of another
// path hides the outer one while it lives.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(std::string path);
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

  struct Content;

 private:
  std::unique_ptr<Content> content_;
  Content* outer_;
};

}  // namespace kavro
