#include "codec/proto_kaseikyo.h"

#include <array>
#include <cstdint>

namespace kavro::codec {
namespace {

using Bytes = std::array<std::uint32_t, 6>;

constexpr BitTiming kKaseikyoBits{false, {1, 1}, {1, 3}};
constexpr Pair kLeader8x4{8, 4};
constexpr Pair kTeacDitto{8, 8};
constexpr double kT = 432;

std::uint32_t Lo(std::uint32_t byte) { return byte & 0xF; }
std::uint32_t Hi(std::uint32_t byte) { return (byte >> 4) & 0xF; }
// The sum and XOR of the nibbles of two bytes.
std::uint32_t NibbleSum(std::uint32_t a, std::uint32_t b) { return Lo(a) + Hi(a) + Lo(b) + Hi(b); }
std::uint32_t NibbleXor(std::uint32_t a, std::uint32_t b) { return Lo(a) ^ Hi(a) ^ Lo(b) ^ Hi(b); }

std::vector<bool> FrameBitsOf(const Bytes& bytes) {
  BitWriter bits;
  for (std::uint32_t byte : bytes) bits.Lsb(byte, 8);
  return bits.Lsb(0, 1).Take();
}

std::vector<FrameLayout> OneFrame(const Bytes& bytes, double lead_out_us) {
  return {{kLeader8x4, FrameBitsOf(bytes), 0, lead_out_us}};
}

// Panasonic and JVC-48: device, subdevice, function and their XOR.
std::vector<FrameLayout> XorFrame(std::uint32_t m, std::uint32_t n, const Fields& f) {
  const std::uint32_t d = f.device, s = f.subdevice, fn = f.function;
  return OneFrame({m, n, d, s, fn, d ^ s ^ fn}, 173 * kT);
}
std::vector<FrameLayout> BuildPanasonic(const Fields& f) { return XorFrame(2, 32, f); }
std::vector<FrameLayout> BuildJvc48(const Fields& f) { return XorFrame(3, 1, f); }

std::vector<FrameLayout> BuildDenonK(const Fields& f) {
  const std::uint32_t b2 = f.device << 4;
  const std::uint32_t b3 = f.subdevice | (f.function & 0xF) << 4;
  const std::uint32_t b4 = f.function >> 4;
  return OneFrame({84, 50, b2, b3, b4, b2 ^ b3 ^ b4}, 173 * kT);
}

std::uint32_t MitsubishiCheck(std::uint32_t s, std::uint32_t f) {
  return (15 - NibbleSum(s, f)) & 0xF;
}
std::vector<FrameLayout> BuildMitsubishiK(const Fields& f) {
  const std::uint32_t d = f.device, s = f.subdevice, fn = f.function;
  return OneFrame({35, 203, 6 | Lo(d) << 4, Hi(d) | Lo(s) << 4, Hi(s) | Lo(fn) << 4,
                   Hi(fn) | MitsubishiCheck(s, fn) << 4},
                  100 * kT);
}

std::vector<FrameLayout> BuildFujitsu(const Fields& f) {
  return OneFrame(
      {20, 99, 0, std::uint32_t(f.device), std::uint32_t(f.subdevice), std::uint32_t(f.function)},
      110 * kT);
}

// Teac-K repeats with a ditto.
std::uint32_t TeacCheck(std::uint32_t d, std::uint32_t s, std::uint32_t f) {
  return (d + NibbleSum(s, f)) & 0xFF;
}
std::vector<FrameLayout> BuildTeacK(const Fields& f) {
  const std::uint32_t d = f.device, s = f.subdevice, fn = f.function;
  std::vector<FrameLayout> frames =
      OneFrame({67, 83, 1 | d << 4, s, fn, TeacCheck(d, s, fn)}, 100 * kT);
  frames.push_back({kTeacDitto, {false}, 0, 100 * kT});
  return frames;
}

// The nominal Kaseikyo layout: X, device, subdevice, function, E and the check nibble C.
std::uint32_t KaseikyoCheck(std::uint32_t d, std::uint32_t s, std::uint32_t f, std::uint32_t e) {
  return d ^ NibbleXor(s, f) ^ e;
}
constexpr std::uint32_t kSharpE = 1;
std::vector<FrameLayout> BuildSharpK(const Fields& f) {
  const std::uint32_t d = f.device, s = f.subdevice, fn = f.function;
  return OneFrame({170, 90, NibbleXor(170, 90) | d << 4, s, fn,
                   kSharpE | KaseikyoCheck(d, s, fn, kSharpE) << 4},
                  48 * 400.0);
}

enum Index { kPanasonic, kDenonK, kMitsubishiK, kFujitsu, kTeacK, kSharpK, kJvc48, kKaseikyo };

constexpr FieldLimits kByteFields{255, 255, SubdeviceRule::kRequired, 255};
// One protocol a line.
// clang-format off
const std::array<ProtocolInfo, 8> kProtocols{{
    {"Panasonic", "Kaseikyo", 37000, kT, kKaseikyoBits, kByteFields, BuildPanasonic},
    {"Denon-K", "Kaseikyo", 37000, kT, kKaseikyoBits, {15, 15, SubdeviceRule::kRequired, 4095}, BuildDenonK},
    {"Mitsubishi-K", "Kaseikyo", 37000, kT, kKaseikyoBits, kByteFields, BuildMitsubishiK},
    {"Fujitsu", "Kaseikyo", 37000, kT, kKaseikyoBits, {255, 255, SubdeviceRule::kSameAsDevice, 255}, BuildFujitsu},
    {"Teac-K", "Kaseikyo", 37000, kT, kKaseikyoBits, {15, 255, SubdeviceRule::kRequired, 255}, BuildTeacK},
    {"Sharp-K", "Kaseikyo", 38000, 400, kKaseikyoBits, {15, 255, SubdeviceRule::kRequired, 255}, BuildSharpK},
    {"JVC-48", "Kaseikyo", 37000, kT, kKaseikyoBits, kByteFields, BuildJvc48},
    {"Kaseikyo", "Kaseikyo", 37000, kT, kKaseikyoBits, {15, 255, SubdeviceRule::kRequired, 255}, nullptr},
}};
// clang-format on

struct Vendor {
  std::uint32_t m, n;
  Index member;
};
constexpr std::array<Vendor, 7> kVendors{{{2, 32, kPanasonic},
                                          {84, 50, kDenonK},
                                          {35, 203, kMitsubishiK},
                                          {20, 99, kFujitsu},
                                          {67, 83, kTeacK},
                                          {170, 90, kSharpK},
                                          {3, 1, kJvc48}}};

Index MemberOf(std::uint32_t m, std::uint32_t n) {
  for (const Vendor& vendor : kVendors)
    if (vendor.m == m && vendor.n == n) return vendor.member;
  return kKaseikyo;
}

struct Values {
  std::uint32_t device, subdevice, function;
  bool check;
};

// Each member's fields and check from the six bytes (vendor code first).
Values ValuesOf(Index member, const Bytes& b) {
  switch (member) {
    case kPanasonic:
    case kJvc48: return {b[2], b[3], b[4], b[5] == (b[2] ^ b[3] ^ b[4])};
    case kDenonK:
      return {Hi(b[2]), Lo(b[3]), Hi(b[3]) | b[4] << 4,
              Lo(b[2]) == 0 && b[5] == (b[2] ^ b[3] ^ b[4])};
    case kMitsubishiK: {
      const std::uint32_t s = Hi(b[3]) | Lo(b[4]) << 4, f = Hi(b[4]) | Lo(b[5]) << 4;
      return {Hi(b[2]) | Lo(b[3]) << 4, s, f, Lo(b[2]) == 6 && Hi(b[5]) == MitsubishiCheck(s, f)};
    }
    // Fujitsu has no check byte; its E nibble has no field here, so only its default is sure.
    case kFujitsu: return {b[3], b[4], b[5], b[2] == 0};
    case kTeacK:
      return {Hi(b[2]), b[3], b[4], Lo(b[2]) == 1 && b[5] == TeacCheck(Hi(b[2]), b[3], b[4])};
    case kSharpK:
    case kKaseikyo: {
      const bool sure_e = member != kSharpK || Lo(b[5]) == kSharpE;
      return {Hi(b[2]), b[3], b[4],
              sure_e && Lo(b[2]) == NibbleXor(b[0], b[1]) &&
                  Hi(b[5]) == KaseikyoCheck(Hi(b[2]), b[3], b[4], Lo(b[5]))};
    }
  }
  return {0, 0, 0, false};
}

}  // namespace

std::span<const ProtocolInfo> KaseikyoProtocols() { return kProtocols; }

bool DecodeKaseikyoFamily(const SignalBlock& block, DecodeDetail& detail) {
  const std::optional<Reading> reading = ReadBlock(block, kKaseikyoBits);
  if (!reading || !reading->LeaderIs(0, kLeader8x4) || !reading->frames[0].Holds(48)) return false;
  const Reading& r = *reading;
  const FrameBits& first = r.frames[0];
  Bytes bytes;
  for (int i = 0; i < 6; ++i) bytes[i] = first.Lsb(8 * i, 8);
  const Index member = MemberOf(bytes[0], bytes[1]);

  bool repeats = true;
  for (int f = 1; f < r.frame_count; ++f) {
    if (member == kTeacK)
      repeats = repeats && r.LeaderIs(f, kTeacDitto) && r.frames[f].count <= 1;
    else
      repeats = repeats && r.LeaderIs(f, kLeader8x4) && r.frames[f].Holds(48) &&
                r.frames[f].SameAs(first, 48);
  }
  const Values values = ValuesOf(member, bytes);
  Claim(detail, r, kProtocols[member], values.device, values.subdevice, values.function,
        repeats && values.check, {kLeader8x4, kTeacDitto});
  return true;
}

}  // namespace kavro::codec
