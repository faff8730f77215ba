// Text helpers the exchange formats share: numbered lines, trimming, bounded numbers, names that
// other tools accept, and the limits every parser keeps to. Nothing here allocates more than the
// piece of text it is asked about.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kavro::codec {

// Most durations one signal may have (Flipper's own limit; a block needs at most 166).
inline constexpr std::size_t kMaxDurations = 1024;
// Most entries one file gives; the rest of a larger file is not read.
inline constexpr std::size_t kMaxEntries = 100000;
// The longest duration a file may give: 10 s.
inline constexpr int32_t kMaxDurationUs = 10'000'000;

// The file's lines, numbered from 1, without their line breaks (LF or CR LF).
class LineReader {
 public:
  explicit LineReader(std::string_view content) : rest_(content) {}
  // The next line, or false at the end.
  bool Next(std::string_view& line);
  int number() const { return number_; }

 private:
  std::string_view rest_;
  int number_ = 0;
  bool done_ = false;
};

// Pieces of a text between separator characters; empty pieces are skipped unless `keep_empty`.
// No allocation.
class Tokens {
 public:
  Tokens(std::string_view text, std::string_view separators, bool keep_empty = false)
      : rest_(text), separators_(separators), keep_empty_(keep_empty) {}
  bool Next(std::string_view& token);

 private:
  std::string_view rest_;
  std::string_view separators_;
  bool keep_empty_;
  bool done_ = false;
};

inline constexpr std::string_view kBlanks = " \t\v\f\r";

std::string_view Trim(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// A line that holds nothing for a parser: blank, or a comment starting with '#'.
bool IsBlankOrComment(std::string_view line);

// A decimal integer, optionally signed, that is the whole text; nothing when it is not one or
// its magnitude exceeds 2^53.
std::optional<int64_t> ParseDecimal(std::string_view text);
// Hexadecimal digits only (no prefix), at most 16 of them.
std::optional<uint64_t> ParseHex(std::string_view text);
// C's rules for an unsigned constant: "0x" hexadecimal, a leading 0 octal, otherwise decimal;
// at most 64 bits.
std::optional<uint64_t> ParseCodeNumber(std::string_view text);

// A text for an error message: at most 24 bytes of it, quoted.
std::string Quoted(std::string_view text);
// "more than 100000 entries: the rest is not read".
std::string TooManyEntries();
// "line 12: what".
std::string LineError(int line, std::string_view what);
// A comment with its tabs and line breaks made spaces, for one field of a line.
std::string OneLine(std::string_view text);
// "0012": at least four digits.
std::string CodeNumber(int number);

// A name other tools take as one word: ASCII letters, digits, '_', '-', '.' and every byte of a
// multi-byte UTF-8 character kept, everything else made '_'; "CODE_0012" for an empty comment.
std::string SafeName(std::string_view comment, int number);

// Names made unique within one file: a name already given gets "_2", "_3", ... appended.
class UniqueNames {
 public:
  std::string Take(std::string name);

 private:
  std::set<std::string> used_;
};

}  // namespace kavro::codec
