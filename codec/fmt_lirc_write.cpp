// Writing lircd.conf (declared in fmt_lirc.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "codec/fmt_lirc.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"
#include "codec/signal_settings.h"

namespace kavro::codec {
namespace {

constexpr int kMaxFieldBits = 64;
// LIRC wants a gap; a block with one frame says nothing of it.
constexpr int64_t kDefaultGapUs = 100000;

// How the frames after the first relate to it: none, the same code again, or a ditto (a leader
// and the stop bit), which is LIRC's repeat code.
enum class Repeats { kNone, kSame, kDitto };

struct Shape {
  std::string protocol;
  int frames = 1;
  Repeats repeats = Repeats::kNone;
  int frame_bits = 0;  // of frame 1, a stop bit included
  bool width = false;
  bool ptrail = false;  // frame 1 ends with a stop bit, written as ptrail
  int carrier = 0;
  bool operator==(const Shape&) const = default;
};

struct Group {
  Shape shape;
  std::vector<const ExportCode*> codes;
};

// Equal within the decoder's tolerance: 25 % or 1 count, whichever is larger.
bool Near(int a, int b) { return std::abs(a - b) <= std::max(1, std::max(a, b) / 4); }

int FirstBit(const SignalBlock& block, int frame) {
  int first = 0;
  for (int f = 1; f < frame; ++f) first += block.BitCount(f);
  return first;
}

bool SameBits(const SignalBlock& block, int frame) {
  const int n = block.BitCount(1), first = FirstBit(block, frame);
  for (int i = 0; i < n; ++i) {
    if (block.Bit(i) != block.Bit(first + i)) return false;
  }
  return true;
}

// The shape a space_enc remote can give the code, or nothing when only raw_codes can.
std::optional<Shape> SpaceEncShape(const ExportCode& code, const ExportOptions& options) {
  const SignalBlock& b = code.block;
  Shape shape;
  shape.protocol = code.decoded.protocol;
  shape.frames = 1 + b.HasFrame2() + b.HasFrame3();
  shape.frame_bits = b.BitCount(1);
  shape.width = b.WidthCoding();
  shape.ptrail = !shape.width && shape.frame_bits >= 2 && !b.Bit(shape.frame_bits - 1);
  shape.carrier = ExportCarrier(code, options);
  if (!code.decoded.Known() || shape.frame_bits - shape.ptrail > kMaxFieldBits) {
    return std::nullopt;
  }
  if (shape.frames == 1) return shape;
  bool ditto = shape.ptrail, same = true;
  for (int f = 2; f <= shape.frames; ++f) {
    ditto = ditto && b.BitCount(f) == 1 && !b.Bit(FirstBit(b, f)) &&
            Near(b.LeaderMark(f), b.LeaderMark(2)) && Near(b.LeaderSpace(f), b.LeaderSpace(2));
    same = same && b.BitCount(f) == shape.frame_bits && SameBits(b, f) &&
           Near(b.LeaderMark(f), b.LeaderMark(1)) && Near(b.LeaderSpace(f), b.LeaderSpace(1));
  }
  if (!ditto && !same) return std::nullopt;
  shape.repeats = ditto ? Repeats::kDitto : Repeats::kSame;
  return shape;
}

int Median(const Group& group, const std::function<int(const SignalBlock&)>& field) {
  std::vector<int> values;
  for (const ExportCode* code : group.codes) values.push_back(field(code->block));
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Leading bits all codes of the group share, in whole bytes, leaving the codes at least a byte;
// none for a single code.
int CommonPrefix(const Group& group, int data_bits) {
  if (group.codes.size() < 2) return 0;
  int common = data_bits;
  const SignalBlock& first = group.codes.front()->block;
  for (const ExportCode* code : group.codes) {
    int i = 0;
    while (i < common && code->block.Bit(i) == first.Bit(i)) ++i;
    common = i;
  }
  return std::min(common / 8 * 8, std::max(0, data_bits - 8));
}

uint64_t BitsValue(const SignalBlock& block, int from, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 1 | (block.Bit(from + i) ? 1 : 0);
  return value;
}

std::string HexValue(uint64_t value, int bits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llX", std::max(1, (bits + 3) / 4),
                static_cast<unsigned long long>(value));
  return text;
}

class RemoteWriter {
 public:
  explicit RemoteWriter(double unit_ns) : unit_ns_(unit_ns) {}

  void Begin(const std::string& name) { out_ += "begin remote\n\n  name  " + name + "\n"; }
  void Line(std::string_view key, const std::string& values) {
    std::string padded(key);
    padded.resize(std::max<size_t>(padded.size() + 1, 15), ' ');
    out_ += "  " + padded + values + "\n";
  }
  void Number(std::string_view key, int64_t value) { Line(key, std::to_string(value)); }
  void Pair(std::string_view key, int mark_counts, int space_counts) {
    Line(key, std::to_string(Us(mark_counts)) + " " + std::to_string(Us(space_counts)));
  }
  int64_t Us(int counts) const { return std::llround(counts * unit_ns_ / 1000.0); }
  std::string& out() { return out_; }

 private:
  double unit_ns_;
  std::string out_;
};

void WriteSpaceEnc(const Group& group, const std::string& remote_name, UniqueNames& names,
                   RemoteWriter& w) {
  const Shape& shape = group.shape;
  auto median = [&](auto field) { return Median(group, field); };
  const int long_time = median([](const SignalBlock& b) { return b.LongTime(); });
  const int short_time = median([](const SignalBlock& b) { return b.ShortTime(); });
  const int alt_time =
      median([](const SignalBlock& b) { return b.AltTime() != 0 ? b.AltTime() : b.ShortTime(); });
  const int data_bits = shape.frame_bits - shape.ptrail;
  const int pre_bits = CommonPrefix(group, data_bits);
  const int bits = data_bits - pre_bits;

  w.Begin(remote_name);
  w.Number("bits", bits);
  w.Line("flags", "SPACE_ENC");
  w.Number("eps", 30);
  w.Number("aeps", 100);
  w.out() += "\n";
  w.Pair("header", median([](const SignalBlock& b) { return b.LeaderMark(1); }),
         median([](const SignalBlock& b) { return b.LeaderSpace(1); }));
  if (shape.width) {
    w.Pair("one", long_time, short_time);
    w.Pair("zero", alt_time, short_time);
  } else {
    w.Pair("one", short_time, long_time);
    w.Pair("zero", short_time, alt_time);
  }
  if (shape.ptrail) w.Number("ptrail", w.Us(short_time));
  if (shape.repeats == Repeats::kDitto) {
    w.Pair("repeat", median([](const SignalBlock& b) { return b.LeaderMark(2); }),
           median([](const SignalBlock& b) { return b.LeaderSpace(2); }));
  }
  if (pre_bits > 0) {
    w.Number("pre_data_bits", pre_bits);
    w.Line("pre_data", HexValue(BitsValue(group.codes.front()->block, 0, pre_bits), pre_bits));
  }
  // The stop bit's space joins the pause, as it does in time.
  const int stop_space = shape.ptrail ? alt_time : 0;
  const int64_t gap =
      shape.frames == 1 ? kDefaultGapUs
                        : w.Us(stop_space + median([](const SignalBlock& b) { return b.Gap1(); }));
  w.Number("gap", gap);
  if (shape.frames == 3) {
    const int64_t repeat_gap =
        w.Us(stop_space + median([](const SignalBlock& b) { return b.Gap2(); }));
    if (repeat_gap != gap) w.Number("repeat_gap", repeat_gap);
  }
  if (shape.frames > 1) {
    w.Number("min_repeat", shape.frames - (shape.repeats == Repeats::kDitto ? 2 : 1));
  }
  w.Number("frequency", shape.carrier);
  w.out() += "\n      begin codes\n";
  for (const ExportCode* code : group.codes) {
    std::string name = names.Take(SafeName(code->comment, code->number));
    name.resize(std::max<size_t>(name.size() + 1, 24), ' ');
    w.out() += "          " + name + HexValue(BitsValue(code->block, pre_bits, bits), bits) + "\n";
  }
  w.out() += "      end codes\n\nend remote\n\n";
}

void WriteRawCodes(const std::vector<std::pair<const ExportCode*, IrSignal>>& codes, int carrier,
                   const std::string& remote_name, UniqueNames& names, RemoteWriter& w) {
  w.Begin(remote_name);
  w.Line("flags", "RAW_CODES");
  w.Number("eps", 30);
  w.Number("aeps", 100);
  w.Number("gap", kDefaultGapUs);
  w.Number("frequency", carrier);
  w.out() += "\n      begin raw_codes\n";
  for (const auto& [code, signal] : codes) {
    w.out() += "\n          name " + names.Take(SafeName(code->comment, code->number)) + "\n";
    // LIRC's raw codes end on a pulse; the last space holds nothing a receiver sees.
    std::vector<int32_t> durations = signal.intro;
    if (!durations.empty() && durations.back() < 0) durations.pop_back();
    for (size_t i = 0; i < durations.size(); ++i) {
      char value[16];
      std::snprintf(value, sizeof value, "%8d", std::abs(durations[i]));
      w.out() += (i % 6 == 0 ? "            " : " ") + std::string(value);
      if (i % 6 == 5 || i + 1 == durations.size()) w.out() += "\n";
    }
  }
  w.out() += "\n      end raw_codes\n\nend remote\n\n";
}

}  // namespace

Outcome<std::string> WriteLirc(std::span<const ExportCode> codes, const ExportOptions& options) {
  if (!codes.empty() && !HasUnit(options)) return Outcome<std::string>::Fail(NoUnitMessage());
  std::string left_out;
  std::vector<Group> groups;
  std::vector<std::pair<int, std::vector<std::pair<const ExportCode*, IrSignal>>>> raw_by_carrier;
  for (const ExportCode& code : codes) {
    Outcome<IrSignal> signal = CodeSignal(code, options);
    if (!signal) {
      left_out += LeftOutLine(code, signal.reason());
      continue;
    }
    if (const std::optional<Shape> shape = SpaceEncShape(code, options)) {
      auto group = std::find_if(groups.begin(), groups.end(),
                                [&](const Group& g) { return g.shape == *shape; });
      if (group == groups.end()) group = groups.insert(groups.end(), Group{*shape, {}});
      group->codes.push_back(&code);
      continue;
    }
    const int carrier = signal->carrier_hz;
    auto raw = std::find_if(raw_by_carrier.begin(), raw_by_carrier.end(),
                            [&](const auto& entry) { return entry.first == carrier; });
    if (raw == raw_by_carrier.end())
      raw = raw_by_carrier.insert(raw_by_carrier.end(), {carrier, {}});
    raw->second.emplace_back(&code, std::move(signal).value());
  }

  RemoteWriter writer(options.unit_ns.value_or(0));
  writer.out() = left_out;
  UniqueNames code_names, remote_names;
  for (const Group& group : groups) {
    WriteSpaceEnc(group, remote_names.Take(SafeName(group.shape.protocol, 0)), code_names, writer);
  }
  for (const auto& [carrier, raw_codes] : raw_by_carrier) {
    WriteRawCodes(raw_codes, carrier, remote_names.Take("raw"), code_names, writer);
  }
  return writer.out();
}

}  // namespace kavro::codec
