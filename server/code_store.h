// The server's view of the data file's IR code records. The file is shared with the desktop
// program and kavro-cli: every look first checks whether the file changed (identity, size or
// modification time) and reads the section again if so, and every change goes through the
// store's locked read-modify-write, so no program undoes another's work.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/file_error.h"

namespace kavro::server {

struct StoredCode {
  int number = 0;
  std::string key;  // as the file spells it ("0101", or a hand-edited "101")
  std::string data;
  std::string comment;  // Shift-JIS
};

class CodeStore {
 public:
  // Record numbers as the API takes them: the "%04d" keys.
  static constexpr int kLastNumber = 9999;

  explicit CodeStore(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  // Every record in file order (the first of a number counts); an unreadable file reads as
  // none, and `error` (when given) tells why.
  const std::vector<StoredCode>& All(FileError* error = nullptr);
  std::optional<StoredCode> Find(int number, FileError* error = nullptr);
  // Writes record `number`; `created` tells whether it was new.
  FileError Put(int number, std::string_view data, std::string_view comment, bool* created);
  // Counts the readings of the file: the records are unchanged while it stays the same.
  std::uint64_t Generation() const { return generation_; }
  // Removes record `number` (under every key that spells it); `found` tells whether there was
  // one.
  FileError Remove(int number, bool* found);

 private:
  struct Stamp {
    unsigned long long device = 0, inode = 0;
    long long size = -1, seconds = 0, nanoseconds = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const std::string& path);
  void Refresh();

  const std::string path_;
  std::optional<Stamp> stamp_;
  FileError error_;
  std::vector<StoredCode> codes_;
  std::uint64_t generation_ = 0;
};

}  // namespace kavro::server
