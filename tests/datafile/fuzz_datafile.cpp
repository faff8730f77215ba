// Fuzz target over the data file store: the input is a file content followed by operations on
// it. Whatever the bytes, nothing crashes, a key write changes only its own line, written keys
// and sections read back, a section read returns only key lines, and no temporary file stays.
//
// Input: two bytes (little endian) giving the length of the file content, the content, then
// operations until the input ends. An operation is one byte (its number modulo 7) and its
// texts, each given as one length byte and that many bytes.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/hex_text.h"
#include "datafile/store.h"

namespace {

using kavro::HexTextToBytes;
using kavro::ReadKeyValue;
using kavro::ReadSectionLine;
using kavro::WriteKeyValue;
using kavro::WriteSectionLine;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(reinterpret_cast<const char*>(data), size) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  uint8_t Byte() { return pos_ < data_.size() ? static_cast<uint8_t>(data_[pos_++]) : 0; }
  std::string Bytes(size_t n) {
    n = std::min(n, data_.size() - pos_);
    std::string bytes(data_.substr(pos_, n));
    pos_ += n;
    return bytes;
  }
  std::string Text() { return Bytes(Byte()); }
  size_t Length() {
    size_t low = Byte();
    return low | static_cast<size_t>(Byte()) << 8;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// A folder of our own, in memory where the machine has one: every change is flushed to disk.
// Never destroyed, so that the clean-up at exit can still name it.
const std::string& ScratchDir() {
  static const std::string& dir = *new std::string([] {
    struct stat st;
    std::string templ = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    templ += "/kavro-fuzz-XXXXXX";
    Check(mkdtemp(templ.data()) != nullptr, "no scratch folder");
    std::atexit([] {
      for (const char* name : {"/fuzz.dat", "/fuzz.dat.lock", "/missing.dat.lock"})
        unlink((ScratchDir() + name).c_str());
      rmdir(ScratchDir().c_str());
    });
    return templ;
  }());
  return dir;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  bytes = all.str();
  return true;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The file's lines without their breaks: what must survive every rewrite.
std::vector<std::string> Lines(std::string_view data) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t lf = data.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.emplace_back(data.substr(pos));
      break;
    }
    size_t end = lf > pos && data[lf - 1] == '\r' ? lf - 1 : lf;
    lines.emplace_back(data.substr(pos, end - pos));
    pos = lf + 1;
  }
  return lines;
}

bool OnlyCrLfBreaks(std::string_view data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r')) return false;
  }
  return true;
}

bool HasBreak(std::string_view text) { return text.find('\n') != std::string_view::npos; }

// A section name and key that the file syntax can hold, so that a write must read back.
bool ReadsBack(std::string_view section, std::string_view key, std::string_view value) {
  return !HasBreak(section) && section.find(']') == std::string_view::npos && !HasBreak(key) &&
         (key.empty() || key.front() != '[') && !HasBreak(value) &&
         (value.empty() || (value.front() != ' ' && value.front() != '\t'));
}

// The key lines of the file as a section read gives them (first "=" as a space).
std::set<std::string> KeyLinesAsRead(std::string_view data) {
  std::set<std::string> lines;
  for (std::string line : Lines(data)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    line[equals] = ' ';
    lines.insert(line);
  }
  return lines;
}

std::vector<std::string> ReadWholeSection(const std::string& path, std::string_view section) {
  std::vector<std::string> lines;
  std::string buffer = "start";
  while (ReadSectionLine(path, section, buffer) == 0) {
    lines.push_back(buffer);
    buffer = "next";
    Check(lines.size() < 100000, "section read never ends");
  }
  Check(buffer.empty(), "buffer not emptied at the end");
  buffer = "end";
  Check(ReadSectionLine(path, section, buffer) == 0 && buffer == "end", "end");
  return lines;
}

void CheckHexText(std::string_view text) {
  std::vector<unsigned char> bytes;
  int count = HexTextToBytes(text, bytes);
  Check(count >= 0 && static_cast<size_t>(count) <= text.size(), "hex count");
  Check(bytes.size() == text.size(), "hex buffer size");
}

void ReadKey(const std::string& path, Input& in) {
  std::string section = in.Text(), key = in.Text(), value;
  Check(ReadKeyValue(path, section, key, value, "\n") == 0, "read result");
  Check(value == "\n" || !HasBreak(value), "value with a line break");
}

void WriteKey(const std::string& path, Input& in) {
  std::string section = in.Text(), key = in.Text(), value = in.Text();
  std::string before;
  const bool existed = ReadFile(path, before);
  Check(WriteKeyValue(path, section, key, value) == 0, "write failed");
  std::string after;
  Check(ReadFile(path, after), "file gone");
  Check(OnlyCrLfBreaks(after), "a bare LF written");
  if (!existed) Check(after.substr(0, 2) == "\r\n", "new file without its empty first line");
  if (!HasBreak(section) && !HasBreak(key) && !HasBreak(value)) {
    // Apart from line breaks, only one line changes, or up to three are added (an empty
    // line, a header and the key).
    std::vector<std::string> b = Lines(before), a = Lines(after);
    size_t same_start = 0;
    while (same_start < b.size() && same_start < a.size() && b[same_start] == a[same_start]) {
      ++same_start;
    }
    size_t same_end = 0;
    while (same_end < b.size() - same_start && same_end < a.size() - same_start &&
           b[b.size() - 1 - same_end] == a[a.size() - 1 - same_end]) {
      ++same_end;
    }
    size_t removed = b.size() - same_start - same_end, added = a.size() - same_start - same_end;
    Check(removed <= 1 && added <= 3 && (removed == 0 || added == 1), "other lines changed");
  }
  if (ReadsBack(section, key, value)) {
    std::string back;
    ReadKeyValue(path, section, key, back, "\n");
    Check(back == value, "written value does not read back");
  }
}

void ReadSection(const std::string& path, Input& in) {
  std::string section = in.Text();
  std::string data;
  ReadFile(path, data);
  std::set<std::string> key_lines = KeyLinesAsRead(data);
  for (const std::string& line : ReadWholeSection(path, section)) {
    Check(key_lines.count(line) == 1, "section read gave a line that is no key line");
    Check(line.empty() || line.front() != '[', "section read past a header");
    CheckHexText(line);
  }
}

void RewriteSection(const std::string& path, Input& in, bool finish) {
  std::string section = in.Text();
  std::vector<std::string> body(in.Byte() % 8);
  for (std::string& line : body) {
    line = in.Text();
    if (line == "start" || line == "end") line += '!';  // control words, not lines
  }
  std::string before;
  const bool existed = ReadFile(path, before);
  int started = WriteSectionLine(path, section, "start");
  Check(started == (existed ? 0 : -1), "start result");
  for (const std::string& line : body) {
    Check(WriteSectionLine(path, section, line) == started, "line result");
  }
  std::string after;
  if (!finish || !existed) {
    Check(ReadFile(path, after) == existed && after == before, "file changed before end");
    return;
  }
  Check(WriteSectionLine(path, section, "end") == 0, "end result");
  Check(ReadFile(path, after), "file gone");
  Check(OnlyCrLfBreaks(after), "a bare LF written");
  if (HasBreak(section) || std::any_of(body.begin(), body.end(), HasBreak)) return;

  // after = the lines up to the header (or all lines and a new header), the new body, and
  // the lines from the next section on.
  std::vector<std::string> b = Lines(before), a = Lines(after);
  const std::string header = "[" + section + "]";
  bool fits = false;
  for (size_t keep = 0; keep <= b.size() && keep <= a.size() && !fits; ++keep) {
    if (keep > 0 && a[keep - 1] != b[keep - 1]) break;
    for (size_t added_header = 0; added_header < 2 && !fits; ++added_header) {
      if (added_header && (keep != b.size() || keep >= a.size() || a[keep] != header)) continue;
      size_t at = keep + added_header;
      if (at + body.size() > a.size()) continue;
      if (!std::equal(body.begin(), body.end(), a.begin() + at)) continue;
      size_t rest = a.size() - at - body.size();
      fits = rest <= b.size() - keep && std::equal(a.end() - rest, a.end(), b.end() - rest);
    }
  }
  Check(fits, "section rewrite changed more than the section body");

  if (section.find(']') == std::string::npos &&
      std::none_of(body.begin(), body.end(),
                   [](const std::string& line) { return !line.empty() && line.front() == '['; })) {
    std::vector<std::string> expected;
    for (std::string line : body) {
      size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      line[equals] = ' ';
      expected.push_back(line);
    }
    Check(ReadWholeSection(path, section) == expected, "rewritten section does not read back");
  }
}

bool OnlyTheDataFileIn(const std::string& dir) {
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) return false;
  bool only = true;
  while (dirent* entry = readdir(folder)) {
    std::string_view name = entry->d_name;
    // Lock files stay by design.
    if (name != "." && name != ".." && name != "fuzz.dat" && !name.ends_with(".lock")) only = false;
  }
  closedir(folder);
  return only;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchDir() + "/fuzz.dat";
  Input in(data, size);
  WriteFile(path, in.Bytes(in.Length()));
  for (int ops = 0; !in.AtEnd() && ops < 64; ++ops) {
    switch (in.Byte() % 7) {
      case 0: ReadKey(path, in); break;
      case 1: WriteKey(path, in); break;
      case 2: ReadSection(path, in); break;
      case 3: RewriteSection(path, in, true); break;
      case 4: RewriteSection(path, in, false); break;  // given up: the next "start" drops it
      case 5: CheckHexText(in.Text()); break;
      case 6: unlink(path.c_str()); break;
    }
  }
  // A "start" on a missing file releases any rewrite left open and opens none.
  Check(WriteSectionLine(ScratchDir() + "/missing.dat", "", "start") == -1, "missing file");
  Check(OnlyTheDataFileIn(ScratchDir()), "a temporary file was left behind");
  return 0;
}
