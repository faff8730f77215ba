#include "codec/proto_nec.h"

#include <array>

namespace kavro::codec {
namespace {

constexpr BitTiming kNecBits{false, {1, 1}, {1, 3}};
constexpr Pair kLeader16x8{16, 8};
constexpr Pair kDitto16x4{16, 4};
constexpr Pair kLeader8x8{8, 8};
constexpr double kNecPeriodUs = 108000;

std::vector<bool> NecBits(const Fields& fields, bool function16) {
  BitWriter bits;
  bits.Lsb(fields.device, 8).Lsb(fields.subdevice, 8);
  if (function16)
    bits.Lsb(fields.function, 16);
  else
    bits.Lsb(fields.function, 8).Lsb(~fields.function & 0xFF, 8);
  return bits.Lsb(0, 1).Take();
}

std::vector<FrameLayout> WithDitto(Pair leader, std::vector<bool> bits, std::vector<bool> ditto) {
  return {{leader, std::move(bits), kNecPeriodUs},
          {leader == kLeader16x8 ? kDitto16x4 : leader, std::move(ditto), kNecPeriodUs}};
}

std::vector<FrameLayout> Twice(Pair leader, std::vector<bool> bits, double period_us) {
  const FrameLayout frame{leader, std::move(bits), period_us};
  return {frame, frame};
}

std::vector<FrameLayout> BuildNec1(const Fields& f) {
  return WithDitto(kLeader16x8, NecBits(f, false), {false});
}
std::vector<FrameLayout> BuildNec2(const Fields& f) {
  return Twice(kLeader16x8, NecBits(f, false), kNecPeriodUs);
}
std::vector<FrameLayout> BuildNec1F16(const Fields& f) {
  return WithDitto(kLeader16x8, NecBits(f, true), {false});
}
std::vector<FrameLayout> BuildNec2F16(const Fields& f) {
  return Twice(kLeader16x8, NecBits(f, true), kNecPeriodUs);
}
// The NECx ditto carries the device's lowest bit.
std::vector<FrameLayout> BuildNecx1(const Fields& f) {
  return WithDitto(kLeader8x8, NecBits(f, false), {(f.device & 1) != 0, false});
}
std::vector<FrameLayout> BuildNecx2(const Fields& f) {
  return Twice(kLeader8x8, NecBits(f, false), kNecPeriodUs);
}
std::vector<FrameLayout> BuildSamsung20(const Fields& f) {
  return Twice(kLeader8x8,
               BitWriter().Lsb(f.device, 6).Lsb(f.subdevice, 6).Lsb(f.function, 8).Lsb(0, 1).Take(),
               100000);
}
std::vector<FrameLayout> BuildAiwa(const Fields& f) {
  constexpr double kT = 550;
  BitWriter bits;
  bits.Lsb(f.device, 8).Lsb(f.subdevice, 5).Lsb(~f.device & 0xFF, 8).Lsb(~f.subdevice & 0x1F, 5);
  bits.Lsb(f.function, 8).Lsb(~f.function & 0xFF, 8).Lsb(0, 1);
  return {{kLeader16x8, bits.Take(), 0, 42 * kT}, {kLeader16x8, {false}, 0, 165 * kT}};
}
// Only JVC's first frame has a leader.
std::vector<FrameLayout> BuildJvc(const Fields& f) {
  std::vector<bool> bits = BitWriter().Lsb(f.device, 8).Lsb(f.function, 8).Lsb(0, 1).Take();
  return {{kLeader16x8, bits, 59080}, {std::nullopt, bits, 46420}};
}

enum Index { kNec1, kNec2, kNec1F16, kNec2F16, kNecx1, kNecx2, kSamsung20, kAiwa, kJvc };

constexpr FieldLimits kNecLimits{255, 255, SubdeviceRule::kComplement, 255};
constexpr FieldLimits kNecF16Limits{255, 255, SubdeviceRule::kComplement, 65535};

// One protocol a line.
// clang-format off
const std::array<ProtocolInfo, 9> kProtocols{{
    {"NEC1", "NEC", 38400, 564, kNecBits, kNecLimits, BuildNec1},
    {"NEC2", "NEC", 38400, 564, kNecBits, kNecLimits, BuildNec2},
    {"NEC1-f16", "NEC", 38400, 564, kNecBits, kNecF16Limits, BuildNec1F16},
    {"NEC2-f16", "NEC", 38400, 564, kNecBits, kNecF16Limits, BuildNec2F16},
    {"NECx1", "NEC", 38400, 564, kNecBits, kNecLimits, BuildNecx1},
    {"NECx2", "NEC", 38400, 564, kNecBits, kNecLimits, BuildNecx2},
    {"Samsung20", "NEC", 38400, 564, kNecBits, {63, 63, SubdeviceRule::kRequired, 255}, BuildSamsung20},
    {"Aiwa", "NEC", 38123, 550, kNecBits, {255, 31, SubdeviceRule::kRequired, 255}, BuildAiwa},
    {"JVC", "NEC", 37900, 527, kNecBits, {255, 0, SubdeviceRule::kNone, 255}, BuildJvc},
}};
// clang-format on

// NEC1 is the frame with dittos, NEC2 the frame repeated; a frame whose byte 4 is not ~F
// carries a 16-bit function (the -f16 forms, which have no check).
bool DecodeNec(const Reading& r, DecodeDetail& detail) {
  const FrameBits& first = r.frames[0];
  bool ditto = false, repeat = false, other = false;
  for (int f = 1; f < r.frame_count; ++f) {
    if (r.LeaderIs(f, kDitto16x4) && r.frames[f].count <= 1)
      ditto = true;
    else if (r.LeaderIs(f, kLeader16x8) && r.frames[f].Holds(32) && r.frames[f].SameAs(first, 32))
      repeat = true;
    else
      other = true;
  }
  const int function = static_cast<int>(first.Lsb(16, 8));
  const bool complement = first.Lsb(24, 8) == (~first.Lsb(16, 8) & 0xFF);
  const Index index =
      repeat && !ditto ? (complement ? kNec2 : kNec2F16) : (complement ? kNec1 : kNec1F16);
  Claim(detail, r, kProtocols[index], first.Lsb(0, 8), first.Lsb(8, 8),
        complement ? function : static_cast<int>(first.Lsb(16, 16)), !other && !(ditto && repeat),
        {kLeader16x8, kDitto16x4});
  return true;
}

bool DecodeNecx(const Reading& r, DecodeDetail& detail) {
  const FrameBits& first = r.frames[0];
  bool ditto = false, repeat = false, other = false;
  for (int f = 1; f < r.frame_count; ++f) {
    if (!r.LeaderIs(f, kLeader8x8))
      other = true;
    else if (r.frames[f].count <= 2)
      ditto = true;
    else if (r.frames[f].Holds(32) && r.frames[f].SameAs(first, 32))
      repeat = true;
    else
      other = true;
  }
  const bool complement = first.Lsb(24, 8) == (~first.Lsb(16, 8) & 0xFF);
  Claim(detail, r, kProtocols[repeat && !ditto ? kNecx2 : kNecx1], first.Lsb(0, 8), first.Lsb(8, 8),
        first.Lsb(16, 8), complement && !other && !(ditto && repeat), {kLeader8x8});
  return true;
}

bool DecodeSamsung20(const Reading& r, DecodeDetail& detail) {
  const FrameBits& first = r.frames[0];
  bool same = true;
  for (int f = 1; f < r.frame_count; ++f)
    same =
        same && r.LeaderIs(f, kLeader8x8) && r.frames[f].Holds(20) && r.frames[f].SameAs(first, 20);
  Claim(detail, r, kProtocols[kSamsung20], first.Lsb(0, 6), first.Lsb(6, 6), first.Lsb(12, 8), same,
        {kLeader8x8});
  return true;
}

bool DecodeAiwa(const Reading& r, DecodeDetail& detail) {
  const FrameBits& first = r.frames[0];
  bool dittos = true;
  for (int f = 1; f < r.frame_count; ++f)
    dittos = dittos && r.LeaderIs(f, kLeader16x8) && r.frames[f].count <= 1;
  const std::uint32_t device = first.Lsb(0, 8), subdevice = first.Lsb(8, 5);
  const std::uint32_t function = first.Lsb(26, 8);
  const bool complements = first.Lsb(13, 8) == (~device & 0xFF) &&
                           first.Lsb(21, 5) == (~subdevice & 0x1F) &&
                           first.Lsb(34, 8) == (~function & 0xFF);
  Claim(detail, r, kProtocols[kAiwa], device, subdevice, function, dittos && complements,
        {kLeader16x8});
  return true;
}

// A JVC learn that missed the first frame starts with a leaderless frame: still JVC, but only
// the leader makes it sure.
bool DecodeJvc(const Reading& r, DecodeDetail& detail) {
  const FrameBits& first = r.frames[0];
  bool repeats = !first.leaderless;
  for (int f = 1; f < r.frame_count; ++f)
    repeats =
        repeats && r.frames[f].leaderless && r.frames[f].Holds(16) && r.frames[f].SameAs(first, 16);
  Claim(detail, r, kProtocols[kJvc], first.Lsb(0, 8), std::nullopt, first.Lsb(8, 8), repeats,
        {kLeader16x8});
  return true;
}

}  // namespace

std::span<const ProtocolInfo> NecProtocols() { return kProtocols; }

bool DecodeNecFamily(const SignalBlock& block, DecodeDetail& detail) {
  const std::optional<Reading> reading = ReadBlock(block, kNecBits);
  if (!reading) return false;
  const Reading& r = *reading;
  const FrameBits& first = r.frames[0];
  if (r.LeaderIs(0, kLeader16x8)) {
    if (first.Holds(32)) return DecodeNec(r, detail);
    if (first.Holds(42)) return DecodeAiwa(r, detail);
    if (first.Holds(16)) return DecodeJvc(r, detail);
  } else if (r.LeaderIs(0, kLeader8x8)) {
    if (first.Holds(32)) return DecodeNecx(r, detail);
    if (first.Holds(20)) return DecodeSamsung20(r, detail);
  } else if (first.leaderless && first.Holds(16)) {
    return DecodeJvc(r, detail);
  }
  return false;
}

}  // namespace kavro::codec
