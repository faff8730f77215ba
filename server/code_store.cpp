#include "server/code_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <set>

#include "datafile/layout.h"
#include "datafile/records.h"
#include "datafile/store.h"

namespace kavro::server {
namespace {

std::optional<int> RecordNumber(std::string_view text) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value < 0)
    return std::nullopt;
  return value;
}

}  // namespace

CodeStore::Stamp CodeStore::StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Stamp{};
  return Stamp{static_cast<unsigned long long>(info.st_dev),
               static_cast<unsigned long long>(info.st_ino), static_cast<long long>(info.st_size),
               static_cast<long long>(info.st_mtim.tv_sec),
               static_cast<long long>(info.st_mtim.tv_nsec)};
}

void CodeStore::Refresh() {
  const Stamp now = StampOf(path_);
  if (stamp_ && *stamp_ == now && !error_) return;
  stamp_ = now;
  ++generation_;
  codes_.clear();
  std::set<int> seen;
  std::string line = "start";
  error_ = {};
  for (int got = ReadSectionLine(path_, kDataSection, line, &error_); got == 0;
       got = ReadSectionLine(path_, kDataSection, line)) {
    const std::optional<RecordEntryParts> parts = SplitRecordEntry(line);
    std::optional<int> number;
    if (parts) number = RecordNumber(parts->number);
    if (number && seen.insert(*number).second)
      codes_.push_back({*number, std::string(parts->number), std::string(parts->data),
                        std::string(parts->comment)});
    line.clear();  // never hand back a line that reads as a control word
  }
  line = "end";
  ReadSectionLine(path_, kDataSection, line);
}

const std::vector<StoredCode>& CodeStore::All(FileError* error) {
  Refresh();
  if (error != nullptr) *error = error_;
  return codes_;
}

std::optional<StoredCode> CodeStore::Find(int number, FileError* error) {
  const std::vector<StoredCode>& codes = All(error);
  const auto found = std::find_if(codes.begin(), codes.end(), [number](const StoredCode& code) {
    return code.number == number;
  });
  if (found == codes.end()) return std::nullopt;
  return *found;
}

FileError CodeStore::Put(int number, std::string_view data, std::string_view comment,
                         bool* created) {
  FileError error;
  const std::optional<StoredCode> old = Find(number, &error);
  if (error) return error;
  // A hand-edited key keeps its spelling: another key of the same number would stay hidden.
  WriteKeyValue(path_, kDataSection, old ? old->key : RecordKey(number), RecordValue(data, comment),
                &error);
  if (!error && created != nullptr) *created = !old;
  stamp_.reset();
  return error;
}

FileError CodeStore::Remove(int number, bool* found) {
  FileError error;
  if (found != nullptr) *found = false;
  // A number may stand under more than one key ("101" and "0101"): each goes, or the next would
  // show up in its place. Each round removes a line, so this ends.
  for (std::optional<StoredCode> code; (code = Find(number, &error)) && !error;) {
    const int removed = DeleteKeyValue(path_, kDataSection, code->key, &error);
    stamp_.reset();
    if (removed <= 0) break;
    if (found != nullptr) *found = true;
  }
  return error;
}

}  // namespace kavro::server
