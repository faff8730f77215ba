// Reading lircd.conf (declared in fmt_lirc.h).
#include <algorithm>
#include <array>

#include "codec/fmt_lirc.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

constexpr int kMaxFieldBits = 64;
// The block holds three frames; further copies would only be refused.
constexpr int kMaxCopies = 2;

enum Flag : unsigned {
  kReverse = 1,
  kConstLength = 2,
  kNoHeadRep = 4,
  kRepeatHeader = 8,
};

struct Pair {
  int64_t pulse = 0;
  int64_t space = 0;
  bool Present() const { return pulse != 0 || space != 0; }
};

struct Code {
  int line = 0;
  std::string name;
  uint64_t value = 0;
  std::vector<int32_t> raw;  // a raw code's durations
  std::string error;
};

struct Remote {
  unsigned flags = 0;
  // Why its coded entries cannot be read: a flag, a parameter (each with its line).
  std::string flag_problem;
  std::string problem;
  int bits = 0, pre_data_bits = 0, post_data_bits = 0;
  uint64_t pre_data = 0, post_data = 0;
  Pair header, one, zero, pre, post, repeat;
  int64_t ptrail = 0, gap = 0, repeat_gap = 0;
  int min_repeat = 0;
  int frequency = 38000;
  std::vector<Code> codes;
  std::vector<Code> raw_codes;
};

// A flag that cannot be read, or nothing.
std::string FlagProblem(std::string_view flag) {
  if (flag == "RC5" || flag == "SHIFT_ENC") return "RC5 is bi-phase coded and cannot be stored";
  if (flag == "RC6") return "RC6 is bi-phase coded and cannot be stored";
  if (flag == "RCMM") return "RC-MM uses 4 symbol widths and cannot be stored";
  if (flag == "XMP") return "XMP uses 4 symbol widths and cannot be stored";
  if (flag == "GOLDSTAR" || flag == "GRUNDIG" || flag == "BO" || flag == "SERIAL" ||
      flag == "SPACE_FIRST") {
    return "LIRC flag " + std::string(flag) + " is not supported";
  }
  if (flag == "SPACE_ENC" || flag == "RAW_CODES" || flag == "NO_FOOT_REP" || flag == "REVERSE" ||
      flag == "CONST_LENGTH" || flag == "NO_HEAD_REP" || flag == "REPEAT_HEADER") {
    return {};
  }
  return "unknown LIRC flag " + Quoted(flag);
}

void ReadFlags(std::string_view text, int line, Remote& remote) {
  Tokens tokens(text, "| \t");
  std::string_view flag;
  while (tokens.Next(flag)) {
    if (flag == "REVERSE") remote.flags |= kReverse;
    if (flag == "CONST_LENGTH") remote.flags |= kConstLength;
    if (flag == "NO_HEAD_REP") remote.flags |= kNoHeadRep;
    if (flag == "REPEAT_HEADER") remote.flags |= kRepeatHeader;
    if (std::string problem = FlagProblem(flag); !problem.empty() && remote.flag_problem.empty()) {
      remote.flag_problem = LineError(line, problem);
    }
  }
}

// Reads the numbers of one parameter line into `values`; the reason when one is not a number.
template <size_t N>
std::string Numbers(Tokens& tokens, std::string_view key, std::array<int64_t, N>& values) {
  std::string_view token;
  for (size_t i = 0; i < N; ++i) {
    if (!tokens.Next(token)) {
      if (i == 0) return std::string(key) + " without a value";
      break;  // "gap 108000" for a parameter that may have two
    }
    const std::optional<int64_t> value =
        token[0] >= '0' && token[0] <= '9' ? ParseDecimal(token) : std::nullopt;
    if (!value) return std::string(key) + " " + Quoted(token) + " is not a number";
    if (*value > kMaxDurationUs) return std::string(key) + " " + DurationProblem(*value);
    values[i] = *value;
  }
  return {};
}

std::string ReadParameter(std::string_view key, Tokens& values, std::string_view rest, int line,
                          Remote& remote) {
  std::array<int64_t, 2> two{};
  std::array<int64_t, 1> one{};
  if (key == "flags") {
    ReadFlags(rest, line, remote);
    return {};
  }
  struct PairKey {
    std::string_view name;
    Pair Remote::*pair;
  };
  static constexpr PairKey kPairs[] = {{"header", &Remote::header}, {"one", &Remote::one},
                                       {"zero", &Remote::zero},     {"pre", &Remote::pre},
                                       {"post", &Remote::post},     {"repeat", &Remote::repeat}};
  for (const PairKey& pair : kPairs) {
    if (key != pair.name) continue;
    std::string problem = Numbers(values, key, two);
    (remote.*pair.pair) = {two[0], two[1]};
    return problem;
  }
  if (key == "two" || key == "three" || key == "plead" || key == "foot" || key == "prepeat" ||
      key == "srepeat") {
    std::string problem = Numbers(values, key, two);
    if (!problem.empty() || (two[0] == 0 && two[1] == 0)) return problem;
    if (key == "two" || key == "three") return "4 symbol widths (two, three) cannot be stored";
    return "LIRC parameter " + std::string(key) + " is not supported";
  }
  struct IntKey {
    std::string_view name;
    int64_t max;
  };
  static constexpr IntKey kInts[] = {{"bits", kMaxFieldBits},
                                     {"pre_data_bits", kMaxFieldBits},
                                     {"post_data_bits", kMaxFieldBits},
                                     {"ptrail", kMaxDurationUs},
                                     {"gap", kMaxDurationUs},
                                     {"repeat_gap", kMaxDurationUs},
                                     {"min_repeat", 1000},
                                     {"frequency", 1'000'000}};
  for (const IntKey& entry : kInts) {
    if (key != entry.name) continue;
    if (std::string problem = Numbers(values, key, one); !problem.empty()) return problem;
    if (one[0] > entry.max) {
      return std::string(key) + " " + std::to_string(one[0]) + " > " + std::to_string(entry.max);
    }
    const int64_t v = one[0];
    if (key == "bits") remote.bits = static_cast<int>(v);
    if (key == "pre_data_bits") remote.pre_data_bits = static_cast<int>(v);
    if (key == "post_data_bits") remote.post_data_bits = static_cast<int>(v);
    if (key == "ptrail") remote.ptrail = v;
    if (key == "gap") remote.gap = v;
    if (key == "repeat_gap") remote.repeat_gap = v;
    if (key == "min_repeat") remote.min_repeat = static_cast<int>(v);
    if (key == "frequency") remote.frequency = static_cast<int>(v);
    return {};
  }
  if (key == "pre_data" || key == "post_data") {
    std::string_view token;
    const std::optional<uint64_t> value =
        values.Next(token) ? ParseCodeNumber(token) : std::nullopt;
    if (!value) return std::string(key) + " without a code number";
    (key == "pre_data" ? remote.pre_data : remote.post_data) = *value;
  }
  return {};  // eps, aeps, toggle masks, driver, ...: nothing the block holds
}

// Appends durations for the `count` low bits of `value`.
bool AddBits(std::vector<int32_t>& part, const Remote& remote, int count, uint64_t value) {
  for (int i = 0; i < count; ++i) {
    const int at = remote.flags & kReverse ? i : count - 1 - i;
    const Pair& bit = (value >> at) & 1 ? remote.one : remote.zero;
    if (!JoinDuration(part, bit.pulse) || !JoinDuration(part, -bit.space)) return false;
  }
  return true;
}

bool AddPair(std::vector<int32_t>& part, const Pair& pair) {
  return JoinDuration(part, pair.pulse) && JoinDuration(part, -pair.space);
}

int64_t Length(const std::vector<int32_t>& part) {
  int64_t sum = 0;
  for (const int32_t us : part) sum += us < 0 ? -us : us;
  return sum;
}

// The space after a code of `length` µs: the gap, or with CONST_LENGTH what fills the period.
int64_t SpaceAfter(const Remote& remote, int64_t length, bool after_repeat) {
  if (after_repeat && remote.repeat_gap > 0) return remote.repeat_gap;
  if (remote.flags & kConstLength && remote.gap > length) return remote.gap - length;
  return remote.gap;
}

Outcome<IrSignal> CodedSignal(const Remote& remote, uint64_t value) {
  using Result = Outcome<IrSignal>;
  if (remote.bits + remote.pre_data_bits + remote.post_data_bits == 0) {
    return Result::Fail("a remote without bits");
  }
  auto frame = [&](bool with_header, std::vector<int32_t>& part) {
    return (!with_header || AddPair(part, remote.header)) &&
           AddBits(part, remote, remote.pre_data_bits, remote.pre_data) &&
           AddPair(part, remote.pre) && AddBits(part, remote, remote.bits, value) &&
           AddPair(part, remote.post) &&
           AddBits(part, remote, remote.post_data_bits, remote.post_data) &&
           JoinDuration(part, remote.ptrail);
  };
  auto ditto = [&](std::vector<int32_t>& part) {
    return (!(remote.flags & kRepeatHeader) || AddPair(part, remote.header)) &&
           AddPair(part, remote.repeat) && JoinDuration(part, remote.ptrail);
  };
  std::vector<int32_t> main, again;
  if (!frame(true, main)) return Result::Fail(TooManyDurations());
  const bool has_ditto = remote.repeat.Present();
  if (!(has_ditto ? ditto(again) : frame(!(remote.flags & kNoHeadRep), again))) {
    return Result::Fail(TooManyDurations());
  }
  const int copies = std::min(remote.min_repeat, has_ditto ? 1 : kMaxCopies);
  if ((has_ditto || copies > 0) && remote.gap == 0) {
    return Result::Fail("gap 0 between the code and its repeats");
  }

  IrSignal signal;
  signal.carrier_hz = remote.frequency;
  signal.intro = main;
  bool after_repeat = false;
  for (int i = 0; i < copies; ++i) {
    JoinDuration(signal.intro,
                 -SpaceAfter(remote, Length(after_repeat ? again : main), after_repeat));
    after_repeat = true;
    for (const int32_t us : again) {
      if (!JoinDuration(signal.intro, us)) return Result::Fail(TooManyDurations());
    }
  }
  if (has_ditto) {
    JoinDuration(signal.intro,
                 -SpaceAfter(remote, Length(after_repeat ? again : main), after_repeat));
    signal.repeat = std::move(again);
  }
  if (signal.intro.size() + signal.repeat.size() > kMaxDurations) {
    return Result::Fail(TooManyDurations());
  }
  if (signal.intro.empty()) return Result::Fail("the remote's timings are all 0");
  if (!WellFormed(signal)) return Result::Fail("the remote's timings do not begin with a pulse");
  return signal;
}

ImportEntry Entry(const Code& code) {
  ImportEntry entry;
  entry.name = code.name;
  if (!code.error.empty()) entry.error = LineError(code.line, code.error);
  return entry;
}

void Finish(const Remote& remote, std::vector<ImportEntry>& entries) {
  for (const Code& code : remote.codes) {
    ImportEntry entry = Entry(code);
    if (entry.error.empty()) entry.error = remote.flag_problem;
    if (entry.error.empty()) entry.error = remote.problem;
    if (entry.error.empty()) {
      Outcome<IrSignal> signal = CodedSignal(remote, code.value);
      if (signal) {
        entry.signal = std::move(signal).value();
      } else {
        entry.error = LineError(code.line, signal.reason());
      }
    }
    entries.push_back(std::move(entry));
  }
  for (const Code& code : remote.raw_codes) {
    ImportEntry entry = Entry(code);
    if (entry.error.empty()) entry.error = remote.problem;
    if (entry.error.empty() && code.raw.empty()) entry.error = LineError(code.line, "no durations");
    if (entry.error.empty()) entry.signal = IrSignal{remote.frequency, code.raw, {}};
    entries.push_back(std::move(entry));
  }
}

}  // namespace

std::vector<ImportEntry> ParseLirc(std::string_view content) {
  enum class State { kOutside, kRemote, kCodes, kRawCodes } state = State::kOutside;
  std::vector<ImportEntry> entries;
  Remote remote;
  size_t codes = 0;
  bool any_remote = false;
  LineReader lines(content);
  std::string_view line;
  while (lines.Next(line)) {
    const std::string_view text = line.substr(0, line.find('#'));
    Tokens tokens(text, kBlanks);
    std::string_view first, second;
    if (!tokens.Next(first)) continue;
    const bool has_second = tokens.Next(second);
    const bool begin = first == "begin" && has_second, end = first == "end" && has_second;
    const int number = lines.number();
    if (begin && second == "remote") {
      if (state != State::kOutside) Finish(remote, entries);  // the last one lacked its end
      state = State::kRemote;
      remote = Remote();
      any_remote = true;
      continue;
    }
    if (state == State::kOutside) continue;
    if (end && second == "remote") {
      Finish(remote, entries);
      state = State::kOutside;
      continue;
    }
    if (state == State::kRemote) {
      if (begin && (second == "codes" || second == "raw_codes")) {
        state = second == "codes" ? State::kCodes : State::kRawCodes;
        continue;
      }
      Tokens values(text, kBlanks);
      values.Next(first);
      std::string problem =
          ReadParameter(first, values, Trim(text).substr(first.size()), number, remote);
      if (!problem.empty() && remote.problem.empty()) remote.problem = LineError(number, problem);
      continue;
    }
    if (end && (second == "codes" || second == "raw_codes")) {
      state = State::kRemote;
      continue;
    }
    if (state == State::kRawCodes && first != "name") {
      if (!remote.raw_codes.empty() && remote.raw_codes.back().error.empty()) {
        remote.raw_codes.back().error = ReadUnsignedDurations(text, remote.raw_codes.back().raw);
      }
      continue;
    }
    if (++codes > kMaxEntries) {
      Finish(remote, entries);
      entries.push_back(
          {"line " + std::to_string(number), {}, {}, LineError(number, TooManyEntries())});
      return entries;
    }
    Code code;
    code.line = number;
    if (state == State::kRawCodes) {
      code.name = has_second ? std::string(second) : "line " + std::to_string(number);
      if (!has_second) code.error = "name without a name";
      remote.raw_codes.push_back(std::move(code));
      continue;
    }
    code.name = first;
    const std::optional<uint64_t> value = has_second ? ParseCodeNumber(second) : std::nullopt;
    if (value) {
      code.value = *value;
    } else {
      code.error =
          has_second ? "code " + Quoted(second) + " is not a number" : "a code without its number";
    }
    remote.codes.push_back(std::move(code));
  }
  if (state != State::kOutside) Finish(remote, entries);  // a remote without its end
  if (!any_remote) entries.push_back({"line 1", {}, {}, "no \"begin remote\" in the file"});
  return entries;
}

}  // namespace kavro::codec
