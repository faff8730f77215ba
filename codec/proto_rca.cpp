#include "codec/proto_rca.h"

#include <array>

namespace kavro::codec {
namespace {

constexpr BitTiming kRcaBits{false, {1, 2}, {1, 4}};
constexpr Pair kLeader{8, 8};
constexpr double kT = 460;

std::vector<FrameLayout> BuildRca(const Fields& f) {
  const FrameLayout frame{kLeader,
                          BitWriter()
                              .Msb(f.device, 4)
                              .Msb(f.function, 8)
                              .Msb(~f.device & 0xF, 4)
                              .Msb(~f.function & 0xFF, 8)
                              .Msb(0, 1)
                              .Take(),
                          0, 16 * kT};
  return {frame, frame};
}

// One protocol a line.
// clang-format off
const std::array<ProtocolInfo, 1> kProtocols{{
    {"RCA", "RCA", 58000, kT, kRcaBits, {15, 0, SubdeviceRule::kNone, 255}, BuildRca},
}};
// clang-format on

}  // namespace

std::span<const ProtocolInfo> RcaProtocols() { return kProtocols; }

bool DecodeRcaFamily(const SignalBlock& block, DecodeDetail& detail) {
  const std::optional<Reading> reading = ReadBlock(block, kRcaBits);
  if (!reading || !reading->LeaderIs(0, kLeader) || !reading->frames[0].Holds(24)) return false;
  const Reading& r = *reading;
  const FrameBits& first = r.frames[0];
  const std::uint32_t device = first.Msb(0, 4), function = first.Msb(4, 8);
  bool sure = first.Msb(12, 4) == (~device & 0xF) && first.Msb(16, 8) == (~function & 0xFF);
  for (int f = 1; f < r.frame_count; ++f)
    sure = sure && r.LeaderIs(f, kLeader) && r.frames[f].Holds(24) && r.frames[f].SameAs(first, 24);
  Claim(detail, r, kProtocols[0], device, std::nullopt, function, sure, {kLeader});
  return true;
}

}  // namespace kavro::codec
