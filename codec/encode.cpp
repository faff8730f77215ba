#include "codec/encode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "codec/block_limits.h"
#include "codec/protocol_table.h"
#include "codec/signal_settings.h"

namespace kavro::codec {
namespace {

// Microseconds in counts of the unit, held to a range an int keeps whatever the unit.
int ToCounts(double us, double unit_ns) {
  return static_cast<int>(std::lround(std::clamp(us * 1000 / unit_ns, 0.0, 1e9)));
}

// Protocols the block cannot hold, by name, with the reason.
std::string Unrepresentable(const std::string& name) {
  static constexpr std::array<std::string_view, 7> kBiPhase{"RC5", "RC5x",   "RC5-7F",   "RC6",
                                                            "MCE", "Replay", "StreamZap"};
  static constexpr std::array<std::string_view, 7> kFourWidths{"RC-MM", "RCMM",  "XMP",    "XMP-1",
                                                               "XMP-2", "Nokia", "Nokia32"};
  for (std::string_view known : kBiPhase)
    if (SameProtocolName(name, known)) return std::string(known) + " is bi-phase coded";
  if (name.size() > 4 && SameProtocolName(name.substr(0, 4), "RC6-"))
    return name + " is bi-phase coded";
  for (std::string_view known : kFourWidths)
    if (SameProtocolName(name, known)) return std::string(known) + " uses four symbol widths";
  return "unknown protocol " + name;
}

std::string Range(const char* what, int value, int max) {
  if (value < 0) return std::string(what) + " " + std::to_string(value) + " < 0";
  if (value > max)
    return std::string(what) + " " + std::to_string(value) + " > " + std::to_string(max);
  return {};
}

Outcome<Fields> CheckFields(const ProtocolInfo& protocol, const EncodeRequest& request) {
  const FieldLimits& limits = protocol.limits;
  const std::string name(protocol.name);
  Fields fields{request.device, request.subdevice, request.function};
  if (std::string why = Range("device", request.device, limits.device_max); !why.empty())
    return Outcome<Fields>::Fail(why);
  if (limits.subdevice == SubdeviceRule::kNone) {
    if (request.subdevice != -1) return Outcome<Fields>::Fail(name + " has no subdevice (give -1)");
    fields.subdevice = 0;
  } else if (request.subdevice == -1) {
    switch (limits.subdevice) {
      case SubdeviceRule::kComplement: fields.subdevice = 255 - request.device; break;
      case SubdeviceRule::kSameAsDevice: fields.subdevice = request.device; break;
      default: return Outcome<Fields>::Fail(name + " needs a subdevice");
    }
  } else if (std::string why = Range("subdevice", request.subdevice, limits.subdevice_max);
             !why.empty()) {
    return Outcome<Fields>::Fail(why);
  }
  if (std::string why = Range("function", request.function, limits.function_max); !why.empty())
    return Outcome<Fields>::Fail(why);
  return fields;
}

// A frame in counts, ready to be stored.
struct StoredFrame {
  int leader_mark = 0;
  int leader_space = 0;
  std::vector<bool> bits;
  int pause = 0;  // after the frame, when another follows
};

// Where durations come from: the unit for everything, or a template's bytes where it has them.
class Durations {
 public:
  Durations(const ProtocolInfo& protocol, double unit_ns, const SignalBlock* templ,
            const DecodeDetail* detail)
      : protocol_(protocol), unit_ns_(unit_ns), template_(templ), detail_(detail) {
    const BitTiming& t = protocol.timing;
    if (templ) {
      long_ = templ->LongTime();
      short_ = templ->ShortTime();
      alt_ = templ->AltTime();
    } else if (t.width_coding) {
      long_ = Counts(t.one.mark);
      short_ = Counts(t.one.space);
      alt_ = Counts(t.zero.mark);
    } else {
      long_ = Counts(t.one.space);
      short_ = Counts(t.zero.mark);
      alt_ = Counts(t.zero.space);
    }
    if (alt_ == short_) alt_ = 0;
  }

  int long_time() const { return long_; }
  int short_time() const { return short_; }
  int alt_time() const { return alt_; }

  // The stored pieces of a bit in counts.
  std::pair<int, int> Bit(bool one) const {
    const int alt = alt_ != 0 ? alt_ : short_;
    if (protocol_.timing.width_coding) return {one ? long_ : alt, short_};
    return {short_, one ? long_ : alt};
  }

  std::pair<int, int> Leader(int frame, Pair nominal) const {
    if (template_ && frame < detail_->reading.frame_count && detail_->leaders[frame] == nominal)
      return {template_->LeaderMark(frame + 1), template_->LeaderSpace(frame + 1)};
    return {Counts(nominal.mark), Counts(nominal.space)};
  }

  int Pause(int frame, const FrameLayout& layout) const {
    if (template_ && frame + 1 < detail_->reading.frame_count)
      return frame == 0 ? template_->Gap1() : template_->Gap2();
    const BitTiming& t = protocol_.timing;
    double frame_t = layout.leader ? layout.leader->Sum() : 0;
    for (bool bit : layout.bits) frame_t += (bit ? t.one : t.zero).Sum();
    const Pair last = layout.bits.empty() ? layout.leader.value_or(Pair{})
                                          : (layout.bits.back() ? t.one : t.zero);
    const double pause_us = layout.period_us > 0
                                ? layout.period_us - frame_t * protocol_.unit_us
                                : layout.lead_out_us - last.space * protocol_.unit_us;
    return ToCounts(pause_us, unit_ns_);
  }

 private:
  int Counts(double in_t) const { return ToCounts(in_t * protocol_.unit_us, unit_ns_); }

  const ProtocolInfo& protocol_;
  double unit_ns_;
  const SignalBlock* template_;
  const DecodeDetail* detail_;
  int long_ = 0, short_ = 0, alt_ = 0;
};

Outcome<std::vector<StoredFrame>> StoredFrames(const std::vector<FrameLayout>& layouts,
                                               const Durations& durations) {
  using Result = Outcome<std::vector<StoredFrame>>;
  std::vector<StoredFrame> frames;
  int total_bits = 0;
  for (std::size_t f = 0; f < layouts.size(); ++f) {
    const FrameLayout& layout = layouts[f];
    StoredFrame frame;
    frame.bits = layout.bits;
    // A frame without a leader stores its first bit as the leader.
    std::tie(frame.leader_mark, frame.leader_space) =
        layout.leader ? durations.Leader(static_cast<int>(f), *layout.leader)
                      : durations.Bit(!layout.bits.empty() && layout.bits.front());
    if (!layout.leader && !frame.bits.empty()) frame.bits.erase(frame.bits.begin());
    if (f + 1 < layouts.size()) frame.pause = durations.Pause(static_cast<int>(f), layout);
    total_bits += static_cast<int>(frame.bits.size());

    if (std::string problem = FrameBeyondFields(frame.leader_mark, frame.leader_space, frame.pause);
        !problem.empty())
      return Result::Fail(std::move(problem));
    frames.push_back(std::move(frame));
  }
  if (frames.size() > kSignalFrameCount)
    return Result::Fail(std::to_string(frames.size()) + " frames > 3");
  if (total_bits > kSignalBitCount) return Result::Fail(std::to_string(total_bits) + " bits > 80");
  return frames;
}

SignalBlock Pack(const Durations& durations, bool width_coding,
                 const std::vector<StoredFrame>& frames) {
  std::array<unsigned char, kSignalBlockSize> b{};
  b[0] = static_cast<unsigned char>(durations.long_time());
  b[1] = static_cast<unsigned char>(durations.short_time());
  b[2] = static_cast<unsigned char>(durations.alt_time());
  int bit_index = 0;
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const StoredFrame& frame = frames[f];
    const std::size_t h = 3 + 6 * f;
    b[h] = static_cast<unsigned char>((frame.leader_mark >> 8) & 0x03);
    b[h + 1] = static_cast<unsigned char>(frame.leader_mark & 0xFF);
    b[h + 2] = static_cast<unsigned char>(frame.bits.size() << 1 | ((frame.leader_space >> 8) & 1));
    b[h + 3] = static_cast<unsigned char>(frame.leader_space & 0xFF);
    if (f + 1 < frames.size()) {
      b[h + 4] = static_cast<unsigned char>(0x80 | ((frame.pause >> 8) & 0x7F));
      b[h + 5] = static_cast<unsigned char>(frame.pause & 0xFF);
    }
    for (bool bit : frame.bits) {
      if (bit) b[19 + bit_index / 8] |= static_cast<unsigned char>(0x80 >> (bit_index % 8));
      ++bit_index;
    }
  }
  if (width_coding) b[3] |= 0x80;
  return SignalBlock(b);
}

// Whether `block` decodes, confidently, as `protocol`. What can fail is the rounding of the
// durations, which the timing bytes (0..18) hold; a block whose timing bytes passed before passes
// again, so an import of thousands of codes of one remote decodes one of them, not each.
bool DecodesBack(const SignalBlock& block, const ProtocolInfo& protocol) {
  constexpr std::size_t kTimingBytes = 19;
  constexpr std::size_t kRemembered = 64;
  thread_local std::vector<std::pair<const ProtocolInfo*, std::array<unsigned char, kTimingBytes>>>
      passed;
  std::array<unsigned char, kTimingBytes> timing{};
  std::copy_n(block.bytes().begin(), kTimingBytes, timing.begin());
  for (const auto& [known, known_timing] : passed)
    if (known == &protocol && known_timing == timing) return true;
  const Decoded check = Decode(block);
  if (!check.confident || check.protocol != protocol.name) return false;
  if (passed.size() == kRemembered) passed.clear();
  passed.emplace_back(&protocol, timing);
  return true;
}

}  // namespace

Outcome<SignalBlock> Encode(const EncodeRequest& request, const EncodeTiming& timing) {
  using Result = Outcome<SignalBlock>;
  const ProtocolInfo* protocol = FindProtocol(request.protocol);
  if (!protocol) return Result::Fail(Unrepresentable(request.protocol));
  const std::string name(protocol->name);
  if (!protocol->build)
    return Result::Fail(name +
                        " needs a vendor code, which has no field here: use Panasonic, "
                        "Denon-K, Mitsubishi-K, Fujitsu, Teac-K, Sharp-K or JVC-48");
  const Outcome<Fields> fields = CheckFields(*protocol, request);
  if (!fields) return Result::Fail(fields.reason());

  // A template counts only when it is surely a code of the same protocol.
  const SignalBlock* templ = nullptr;
  DecodeDetail detail;
  if (timing.timing_template) {
    detail = DecodeDetailed(*timing.timing_template);
    if (detail.decoded.confident && detail.protocol == protocol)
      templ = timing.timing_template;
    else if (!timing.unit_ns)
      return Result::Fail("the code to take the timing from is not a sure " + name + " code (" +
                          DecodeSummary(detail.decoded) + ")");
  }
  std::optional<double> unit_ns = timing.unit_ns;
  if (templ && !unit_ns) unit_ns = FitUnitNs(*templ, detail);
  if (!unit_ns)
    return Result::Fail("no " + name + " code to take the timing from, and " + NoUnitMessage());
  if (!(*unit_ns > 0)) return Result::Fail("the time unit must be more than 0 ns");

  const Durations durations(*protocol, *unit_ns, templ, &detail);
  if (std::string problem =
          BitPiecesBeyondField(durations.long_time(), durations.short_time(), durations.alt_time());
      !problem.empty())
    return Result::Fail(std::move(problem));
  const auto too_coarse = [&] {
    const std::string pieces = std::to_string(durations.short_time()) + " and " +
                               std::to_string(durations.long_time()) + " counts";
    // A template's timing is the user's learned code, not the unit: say which one failed.
    if (templ)
      return "the timing of the stored " + name + " code it was taken from does not make a sure " +
             name + " code (bit pieces of " + pieces + ")";
    char unit[32];
    std::snprintf(unit, sizeof unit, "%g", *unit_ns);
    return "a unit of " + std::string(unit) + " ns is too coarse for " + name +
           ": its bit pieces would be " + pieces;
  };
  if (durations.short_time() < 1 || durations.long_time() < 1) return Result::Fail(too_coarse());

  const Outcome<std::vector<StoredFrame>> frames =
      StoredFrames(protocol->build(*fields), durations);
  if (!frames) return Result::Fail(frames.reason());
  const SignalBlock block = Pack(durations, protocol->timing.width_coding, *frames);
  if (block.IsEmpty())
    return Result::Fail("the first 8 data bits are all 0, which the block format reads as no code");
  // Rounding to whole counts can blur the ratios the decoder reads when the unit is coarse.
  if (!DecodesBack(block, *protocol)) return Result::Fail(too_coarse());
  return block;
}

std::vector<std::string> EncodableProtocols() {
  std::vector<std::string> names;
  for (const ProtocolInfo* protocol : Protocols())
    if (protocol->build) names.emplace_back(protocol->name);
  return names;
}

}  // namespace kavro::codec
