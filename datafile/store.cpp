#include "datafile/store.h"

#include <cerrno>
#include <memory>
#include <optional>

#include "datafile/atomic_file.h"
#include "datafile/file_lock.h"
#include "datafile/leading_decimal.h"
#include "datafile/sjis.h"

namespace kavro {
namespace {

constexpr size_t npos = std::string_view::npos;
constexpr std::string_view kBreak = "\r\n";

// Line breaks: the file is read with CR LF or LF breaks, and every rewrite writes all of them
// as CR LF, the lines copied through as well as our own. A plain LF file thus becomes a CR LF
// file on its first change rather than a mix of both. Other bytes (a lone CR, Ctrl-Z,
// Shift-JIS, a last line without a break) are copied exactly.

struct Line {
  std::string_view text;  // without its line break
  size_t next;            // offset of the following line
};

Line LineAt(std::string_view data, size_t pos) {
  size_t lf = data.find('\n', pos);
  if (lf == npos) return {data.substr(pos), data.size()};
  size_t end = lf;
  if (end > pos && data[end - 1] == '\r') --end;
  return {data.substr(pos, end - pos), lf + 1};
}

// Names ignore the case of a to z only: the bytes of a double-byte character must match
// exactly, also a trail byte that happens to be a letter.
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithName(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsSjisLeadByte(static_cast<unsigned char>(name[i]))) {
      if (text[i] != name[i]) return false;
      if (++i < name.size() && text[i] != name[i]) return false;
    } else if (UpperAscii(text[i]) != UpperAscii(name[i])) {
      return false;
    }
  }
  return true;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithName(a, b);
}

size_t SkipBlanks(std::string_view text, size_t i) {
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

// Inside a section any line beginning with "[" ends it, header or not.
bool EndsSection(std::string_view text) { return !text.empty() && text.front() == '['; }

bool IsHeaderNamed(std::string_view text, std::string_view section) {
  if (!EndsSection(text)) return false;
  size_t close = text.find(']', 1);
  return close != npos && SameName(text.substr(1, close - 1), section);
}

// Offset of the first line after the header of the first section named `section`, or npos.
size_t FindSectionBody(std::string_view data, std::string_view section) {
  for (size_t pos = 0; pos < data.size();) {
    Line line = LineAt(data, pos);
    if (IsHeaderNamed(line.text, section)) return line.next;
    pos = line.next;
  }
  return npos;
}

// Offset of the "=" when `text` is a key line of `key` (name at the very start, blanks, "="),
// else npos. "PAGE2=4" is not a key line of "PAGE".
size_t KeyLineEquals(std::string_view text, std::string_view key) {
  if (!StartsWithName(text, key)) return npos;
  size_t i = SkipBlanks(text, key.size());
  return i < text.size() && text[i] == '=' ? i : npos;
}

// Appends `bytes` with every LF written as CR LF (a CR LF stays as it is).
void AppendNormalised(std::string& out, std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t lf = bytes.find('\n', pos);
    if (lf == npos) {
      out.append(bytes.substr(pos));
      return;
    }
    out.append(bytes.substr(pos, lf - pos));
    if (lf == pos || bytes[lf - 1] != '\r') out += '\r';
    out += '\n';
    pos = lf + 1;
  }
}

// A file whose last line has no break gets one before anything is appended after it.
void EndOpenLine(std::string& out) {
  if (!out.empty() && out.back() != '\n') out.append(kBreak);
}

// Appends one line that the store writes itself.
void AppendLine(std::string& out, std::string_view text) {
  EndOpenLine(out);
  AppendNormalised(out, text);
  out.append(kBreak);
}

std::string HeaderLine(std::string_view section) {
  std::string text = "[";
  text.append(section);
  text += ']';
  return text;
}

std::string NewKeyLine(std::string_view key, std::string_view value) {
  std::string text(key);
  text += '=';
  text.append(value);
  return text;
}

std::string ReserveFor(std::string_view data, size_t extra) {
  std::string out;
  out.reserve(data.size() + data.size() / 32 + extra + 16);  // room for CRs added to LF lines
  return out;
}

void Report(FileError* error, FileError why) {
  if (error != nullptr) *error = why;
}

thread_local ReadSnapshot::Content* t_snapshot = nullptr;

}  // namespace

struct ReadSnapshot::Content {
  std::string path;
  bool taken = false;  // false until the first read, and again after a change
  FileError error;
  std::shared_ptr<const FileBytes> data;  // null unless the file was read
};

ReadSnapshot::ReadSnapshot(std::string path)
    : content_(std::make_unique<Content>()), outer_(t_snapshot) {
  content_->path = std::move(path);
  t_snapshot = content_.get();
}

ReadSnapshot::~ReadSnapshot() { t_snapshot = outer_; }

namespace {

ReadSnapshot::Content* SnapshotOf(const std::string& path) {
  return t_snapshot != nullptr && t_snapshot->path == path ? t_snapshot : nullptr;
}

// The file's content for a read: from the snapshot of `path` where one lives, else read anew.
// Null unless the outcome is kRead.
std::shared_ptr<const FileBytes> ReadForReading(const std::string& path, FileError* error) {
  ReadSnapshot::Content* snapshot = SnapshotOf(path);
  if (snapshot == nullptr) {
    // A single read goes to the heap, whose memory a running program has warm.
    std::string data;
    if (ReadWholeFile(path, data, error) != ReadOutcome::kRead) return nullptr;
    return std::make_shared<const FileBytes>(std::move(data));
  }
  if (!snapshot->taken) {
    // A snapshot is scanned again and again, and at the program's start its read falls on fresh
    // memory: memory of its own, in huge pages where it is large, serves both best.
    FileBytes data;
    const ReadOutcome outcome = ReadWholeFile(path, data, &snapshot->error);
    snapshot->taken = true;
    if (outcome == ReadOutcome::kRead)
      snapshot->data = std::make_shared<const FileBytes>(std::move(data));
  }
  Report(error, snapshot->error);
  return snapshot->data;
}

// Every change of `path` passes here, so that no snapshot outlives what it copied.
void DropSnapshot(const std::string& path) {
  if (ReadSnapshot::Content* snapshot = SnapshotOf(path)) {
    snapshot->taken = false;
    snapshot->data.reset();
  }
}

// The last step of every change: the rest of the file follows the new text, and the result
// replaces the file on disk (or leaves it untouched and gives -1).
int FinishRewrite(const std::string& path, std::string& out, std::string_view rest,
                  FileError* error) {
  AppendNormalised(out, rest);
  DropSnapshot(path);
  return ReplaceFileContent(path, out, ReplaceMode::kExisting, error);
}

// The file is read whole on "start"; the cursor walks that copy. A later change of the file
// on disk does not disturb a reading under way.
struct SectionReader {
  bool open = false;
  std::shared_ptr<const FileBytes> data;  // shared with a snapshot rather than copied
  size_t pos = 0;

  void Close() {
    open = false;
    data.reset();
    pos = 0;
  }
};

// The new file grows in memory and reaches the disk only in FinishRewrite, so a rewrite given
// up without "end" leaves nothing behind. The data file stays locked from "start" until then, so
// that no other program's change falls between the read and the write.
struct SectionRewrite {
  bool open = false;
  std::optional<DataFileLock> lock;
  std::string path;
  std::string data;  // the file as read on "start"
  size_t body = 0;   // where the old body of the section begins in `data`
  std::string out;   // the new file so far

  void Release() {
    open = false;
    lock.reset();
    std::string().swap(path);
    std::string().swap(data);
    std::string().swap(out);
    body = 0;
  }
};

SectionReader g_reader;
SectionRewrite g_rewrite;

}  // namespace

FileError ProbeReadable(const std::string& path) {
  FileError error;
  CheckReadable(path, &error);
  return error;
}

int ReadKeyValue(const std::string& path, std::string_view section, std::string_view key,
                 std::string& value, std::string_view deflt, FileError* error) {
  value.assign(deflt);
  const std::shared_ptr<const FileBytes> data = ReadForReading(path, error);
  if (data == nullptr) return 0;
  const std::string_view file = data->view();
  for (size_t pos = FindSectionBody(file, section); pos < file.size();) {
    Line line = LineAt(file, pos);
    if (EndsSection(line.text)) break;
    size_t equals = KeyLineEquals(line.text, key);
    if (equals != npos) {
      value.assign(line.text.substr(SkipBlanks(line.text, equals + 1)));
      break;
    }
    pos = line.next;
  }
  return 0;
}

namespace {

// True (with the reason) when the change may not be made for want of the lock.
bool Unlocked(const DataFileLock& lock, FileError* error) {
  if (!lock.error()) return false;
  Report(error, lock.error());
  return true;
}

// The file read for a change; -1 (with the reason) when there is none to change.
int ReadForChange(const std::string& path, std::string& data, ReadOutcome& read, FileError* error) {
  Report(error, {});
  if (path.empty()) {
    Report(error, {FileFault::kNotFound, ENOENT});
    return -1;
  }
  read = ReadWholeFile(path, data, error);
  // An existing file we cannot read is never replaced by one holding only the new keys.
  return read == ReadOutcome::kFailed ? -1 : 0;
}

// New key lines at the end of the body of `section` (made, with the file, where missing): after
// the empty lines that close the section, directly above the next header.
int AddNewKeyLines(const std::string& path, std::string_view data, ReadOutcome read,
                   std::string_view section, std::span<const KeyValue> entries, FileError* error) {
  size_t extra = section.size();
  for (const KeyValue& entry : entries) extra += entry.key.size() + entry.value.size() + 3;
  std::string out = ReserveFor(data, extra);
  auto append_entries = [&] {
    for (const KeyValue& entry : entries) AppendLine(out, NewKeyLine(entry.key, entry.value));
  };
  if (read == ReadOutcome::kMissing) {
    out.append(kBreak);
    AppendLine(out, HeaderLine(section));
    append_entries();
    DropSnapshot(path);
    return ReplaceFileContent(path, out, ReplaceMode::kCreate, error);
  }
  const size_t body = FindSectionBody(data, section);
  if (body == npos) {
    AppendNormalised(out, data);
    EndOpenLine(out);
    out.append(kBreak);
    AppendLine(out, HeaderLine(section));
    append_entries();
    return FinishRewrite(path, out, {}, error);
  }
  size_t pos = body;
  while (pos < data.size()) {
    const Line line = LineAt(data, pos);
    if (EndsSection(line.text)) break;
    pos = line.next;
  }
  AppendNormalised(out, data.substr(0, pos));
  append_entries();
  return FinishRewrite(path, out, data.substr(pos), error);
}

}  // namespace

int AddKeyValues(const std::string& path, std::string_view section,
                 std::span<const KeyValue> entries, FileError* error) {
  const DataFileLock lock(path);
  if (Unlocked(lock, error)) return -1;
  std::string data;
  ReadOutcome read = ReadOutcome::kMissing;
  if (ReadForChange(path, data, read, error) != 0) return -1;
  return AddNewKeyLines(path, data, read, section, entries, error);
}

int WriteKeyValue(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value, FileError* error) {
  const DataFileLock lock(path);
  if (Unlocked(lock, error)) return -1;
  std::string data;
  ReadOutcome read = ReadOutcome::kMissing;
  if (ReadForChange(path, data, read, error) != 0) return -1;
  const KeyValue entry{std::string(key), std::string(value)};
  std::string_view file(data);
  const size_t body = read == ReadOutcome::kRead ? FindSectionBody(file, section) : npos;
  if (body == npos) return AddNewKeyLines(path, data, read, section, {&entry, 1}, error);

  std::string out = ReserveFor(data, section.size() + key.size() + value.size());
  size_t pos = body;
  while (pos < file.size()) {
    Line line = LineAt(file, pos);
    if (EndsSection(line.text)) break;
    size_t equals = KeyLineEquals(line.text, key);
    if (equals != npos) {
      // The caller's spelling of the key, the file's blanks around "=", the new value.
      AppendNormalised(out, file.substr(0, pos));
      std::string text(key);
      size_t value_at = SkipBlanks(line.text, equals + 1);
      text.append(line.text.substr(key.size(), value_at - key.size()));
      text.append(value);
      AppendLine(out, text);
      return FinishRewrite(path, out, file.substr(line.next), error);
    }
    pos = line.next;
  }
  return AddNewKeyLines(path, data, read, section, {&entry, 1}, error);
}

bool SectionHasLines(const std::string& path, std::string_view section) {
  const std::shared_ptr<const FileBytes> data = ReadForReading(path, nullptr);
  if (data == nullptr) return false;
  const std::string_view file = data->view();
  for (size_t pos = FindSectionBody(file, section); pos < file.size();) {
    const Line line = LineAt(file, pos);
    if (EndsSection(line.text)) return false;
    if (line.text.find('=') != npos) return true;
    pos = line.next;
  }
  return false;
}

int ReadSectionLine(const std::string& path, std::string_view section, std::string& buffer,
                    FileError* error) {
  SectionReader& reader = g_reader;
  Report(error, {});
  if (buffer == "start") {
    reader.Close();
    std::shared_ptr<const FileBytes> data = ReadForReading(path, error);
    const size_t body = data != nullptr ? FindSectionBody(data->view(), section) : npos;
    if (body == npos) {
      buffer.clear();
      return -1;
    }
    reader.data = std::move(data);
    reader.pos = body;
    reader.open = true;
  } else if (buffer == "end") {
    reader.Close();
    return 0;
  }

  buffer.clear();
  if (!reader.open) return -1;
  const std::string_view file = reader.data->view();
  while (reader.pos < file.size()) {
    Line line = LineAt(file, reader.pos);
    // The cursor stays on the next header: every later call sees the end of the section again.
    if (EndsSection(line.text)) return -1;
    reader.pos = line.next;
    size_t equals = line.text.find('=');
    if (equals == npos) continue;
    buffer.assign(line.text);
    buffer[equals] = ' ';
    return 0;
  }
  return -1;
}

int WriteSectionLine(const std::string& path, std::string_view section, std::string_view line,
                     FileError* error) {
  SectionRewrite& rewrite = g_rewrite;
  Report(error, {});
  if (line == "start") {
    rewrite.Release();
    rewrite.lock.emplace(path);
    if (Unlocked(*rewrite.lock, error)) {
      rewrite.Release();
      return -1;
    }
    std::string data;
    const ReadOutcome read = ReadWholeFile(path, data, error);
    if (read != ReadOutcome::kRead) {
      rewrite.Release();
      // Only the file itself is rewritten here: a missing one is not made.
      if (read == ReadOutcome::kMissing) Report(error, {FileFault::kNotFound, ENOENT});
      return -1;
    }
    std::string out = ReserveFor(data, 0);
    size_t body = FindSectionBody(data, section);
    if (body == npos) {
      // A missing section goes at the end, without an empty line before it.
      AppendNormalised(out, data);
      AppendLine(out, HeaderLine(section));
      body = data.size();
    } else {
      AppendNormalised(out, std::string_view(data).substr(0, body));
    }
    rewrite.path = path;
    rewrite.data = std::move(data);
    rewrite.body = body;
    rewrite.out = std::move(out);
    rewrite.open = true;
    return 0;
  }
  if (line == "end") {
    if (!rewrite.open) return 0;
    std::string_view file(rewrite.data);
    size_t pos = rewrite.body;
    while (pos < file.size()) {
      Line old = LineAt(file, pos);
      if (EndsSection(old.text)) break;
      pos = old.next;
    }
    int result = FinishRewrite(rewrite.path, rewrite.out, file.substr(pos), error);
    rewrite.Release();
    return result;
  }
  if (!rewrite.open) {
    Report(error, {FileFault::kIoError, EBADF});
    return -1;
  }
  AppendLine(rewrite.out, line);
  return 0;
}

int DeleteKeyValue(const std::string& path, std::string_view section, std::string_view key,
                   FileError* error) {
  const DataFileLock lock(path);
  if (Unlocked(lock, error)) return -1;
  std::string data;
  ReadOutcome read = ReadOutcome::kMissing;
  if (ReadForChange(path, data, read, error) != 0) return -1;
  if (read != ReadOutcome::kRead) return 0;
  std::string_view file(data);
  size_t pos = FindSectionBody(file, section);
  while (pos < file.size()) {
    const Line line = LineAt(file, pos);
    if (EndsSection(line.text)) break;
    if (KeyLineEquals(line.text, key) != npos) {
      std::string out = ReserveFor(data, 0);
      AppendNormalised(out, file.substr(0, pos));
      return FinishRewrite(path, out, file.substr(line.next), error) == 0 ? 1 : -1;
    }
    pos = line.next;
  }
  return 0;
}

}  // namespace kavro
