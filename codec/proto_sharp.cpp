#include "codec/proto_sharp.h"

#include <array>

namespace kavro::codec {
namespace {

constexpr BitTiming kSharpBits{false, {1, 3}, {1, 7}};

// The two extension bits of the first and the second frame.
struct Extension {
  std::uint32_t first, second;
};
constexpr Extension kSharpExtension{1, 2};
constexpr Extension kDenonExtension{0, 3};

std::vector<FrameLayout> TwoHalves(const Fields& f, Extension extension) {
  constexpr double kLeadOutUs = 165 * 264;
  return {{std::nullopt,
           BitWriter().Lsb(f.device, 5).Lsb(f.function, 8).Lsb(extension.first, 2).Lsb(0, 1).Take(),
           0, kLeadOutUs},
          {std::nullopt,
           BitWriter()
               .Lsb(f.device, 5)
               .Lsb(~f.function & 0xFF, 8)
               .Lsb(extension.second, 2)
               .Lsb(0, 1)
               .Take(),
           0, kLeadOutUs}};
}
std::vector<FrameLayout> BuildSharp(const Fields& f) { return TwoHalves(f, kSharpExtension); }
std::vector<FrameLayout> BuildDenon(const Fields& f) { return TwoHalves(f, kDenonExtension); }

std::vector<FrameLayout> BuildMitsubishi(const Fields& f) {
  const FrameLayout frame{
      std::nullopt, BitWriter().Lsb(f.device, 8).Lsb(f.function, 8).Lsb(0, 1).Take(), 0, 80 * 300};
  return {frame, frame};
}

enum Index { kSharp, kDenon, kMitsubishi };

// One protocol a line.
// clang-format off
const std::array<ProtocolInfo, 3> kProtocols{{
    {"Sharp", "Sharp", 38000, 264, kSharpBits, {31, 0, SubdeviceRule::kNone, 255}, BuildSharp},
    {"Denon", "Sharp", 38000, 264, kSharpBits, {31, 0, SubdeviceRule::kNone, 255}, BuildDenon},
    {"Mitsubishi", "Sharp", 32600, 300, kSharpBits, {255, 0, SubdeviceRule::kNone, 255}, BuildMitsubishi},
}};
// clang-format on

// Sharp or Denon by the first frame's extension bits; sure when the frames alternate between
// the first half and the second (same device, function inverted).
bool DecodeHalves(const Reading& r, DecodeDetail& detail, bool only_if_sure) {
  const FrameBits& first = r.frames[0];
  const std::uint32_t e = first.Lsb(13, 2);
  const bool sharp = e == kSharpExtension.first || e == kSharpExtension.second;
  const Extension extension = sharp ? kSharpExtension : kDenonExtension;
  const bool starts_first = e == extension.first;
  const std::uint32_t device = first.Lsb(0, 5);
  const std::uint32_t function = starts_first ? first.Lsb(5, 8) : ~first.Lsb(5, 8) & 0xFF;

  bool sure = starts_first && r.frame_count >= 2;
  for (int f = 0; f < r.frame_count; ++f) {
    const FrameBits& frame = r.frames[f];
    const bool second = f % 2 == 1;
    sure = sure && frame.leaderless && frame.Holds(15) && frame.Lsb(0, 5) == device &&
           frame.Lsb(13, 2) == (second ? extension.second : extension.first) &&
           frame.Lsb(5, 8) == (second ? ~function & 0xFF : function);
  }
  if (only_if_sure && !sure) return false;
  Claim(detail, r, kProtocols[sharp ? kSharp : kDenon], device, std::nullopt, function, sure, {});
  return true;
}

bool DecodeMitsubishi(const Reading& r, DecodeDetail& detail, bool only_if_sure) {
  const FrameBits& first = r.frames[0];
  bool repeats = true;
  for (int f = 1; f < r.frame_count; ++f)
    repeats =
        repeats && r.frames[f].leaderless && r.frames[f].Holds(16) && r.frames[f].SameAs(first, 16);
  if (only_if_sure && !repeats) return false;
  Claim(detail, r, kProtocols[kMitsubishi], first.Lsb(0, 8), std::nullopt, first.Lsb(8, 8), repeats,
        {});
  return true;
}

}  // namespace

std::span<const ProtocolInfo> SharpProtocols() { return kProtocols; }

// A frame of 16 bits is a Sharp half with its stop bit or a Mitsubishi frame without: the one
// whose frame pattern holds wins, Sharp first.
bool DecodeSharpFamily(const SignalBlock& block, DecodeDetail& detail) {
  const std::optional<Reading> reading = ReadBlock(block, kSharpBits);
  if (!reading || !reading->frames[0].leaderless) return false;
  const Reading& r = *reading;
  const bool half = r.frames[0].Holds(15);
  const bool mitsubishi = r.frames[0].Holds(16);
  if (half && DecodeHalves(r, detail, true)) return true;
  if (mitsubishi && DecodeMitsubishi(r, detail, true)) return true;
  if (half) return DecodeHalves(r, detail, false);
  if (mitsubishi) return DecodeMitsubishi(r, detail, false);
  return false;
}

}  // namespace kavro::codec
