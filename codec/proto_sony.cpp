#include "codec/proto_sony.h"

#include <array>

namespace kavro::codec {
namespace {

constexpr BitTiming kSonyBits{true, {1, 1}, {2, 1}};
constexpr Pair kLeader{4, 1};
constexpr double kPeriodUs = 45000;

// Three identical frames: what Sony devices wait for before they act.
std::vector<FrameLayout> ThreeFrames(std::vector<bool> bits) {
  const FrameLayout frame{kLeader, std::move(bits), kPeriodUs};
  return {frame, frame, frame};
}
std::vector<FrameLayout> BuildSony12(const Fields& f) {
  return ThreeFrames(BitWriter().Lsb(f.function, 7).Lsb(f.device, 5).Take());
}
std::vector<FrameLayout> BuildSony15(const Fields& f) {
  return ThreeFrames(BitWriter().Lsb(f.function, 7).Lsb(f.device, 8).Take());
}
std::vector<FrameLayout> BuildSony20(const Fields& f) {
  return ThreeFrames(BitWriter().Lsb(f.function, 7).Lsb(f.device, 5).Lsb(f.subdevice, 8).Take());
}

// One protocol a line.
// clang-format off
const std::array<ProtocolInfo, 3> kProtocols{{
    {"Sony12", "Sony", 40000, 600, kSonyBits, {31, 0, SubdeviceRule::kNone, 127}, BuildSony12},
    {"Sony15", "Sony", 40000, 600, kSonyBits, {255, 0, SubdeviceRule::kNone, 127}, BuildSony15},
    {"Sony20", "Sony", 40000, 600, kSonyBits, {31, 255, SubdeviceRule::kRequired, 127}, BuildSony20},
}};
// clang-format on

}  // namespace

std::span<const ProtocolInfo> SonyProtocols() { return kProtocols; }

bool DecodeSonyFamily(const SignalBlock& block, DecodeDetail& detail) {
  const std::optional<Reading> reading = ReadBlock(block, kSonyBits);
  if (!reading || !reading->LeaderIs(0, kLeader)) return false;
  const Reading& r = *reading;
  const int bits = r.frames[0].count;
  if (bits != 12 && bits != 15 && bits != 20) return false;

  bool alike = true;
  for (int f = 1; f < r.frame_count; ++f)
    alike = alike && r.LeaderIs(f, kLeader) && r.frames[f].count == bits;
  // The fields come from the first frame that another frame repeats.
  int agreed = -1;
  for (int f = 0; f < r.frame_count && agreed < 0; ++f)
    for (int g = f + 1; g < r.frame_count && agreed < 0; ++g)
      if (r.frames[f].SameAs(r.frames[g], bits)) agreed = f;

  const FrameBits& frame = r.frames[agreed < 0 ? 0 : agreed];
  const ProtocolInfo& protocol = kProtocols[bits == 12 ? 0 : bits == 15 ? 1 : 2];
  const int device_bits = bits == 15 ? 8 : 5;
  Claim(detail, r, protocol, frame.Lsb(7, device_bits),
        bits == 20 ? std::optional<int>(frame.Lsb(12, 8)) : std::nullopt, frame.Lsb(0, 7),
        alike && agreed >= 0, {kLeader});
  return true;
}

}  // namespace kavro::codec
