#include "codec/protocol_table.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "codec/proto_kaseikyo.h"
#include "codec/proto_nec.h"
#include "codec/proto_rca.h"
#include "codec/proto_sharp.h"
#include "codec/proto_sony.h"

namespace kavro::codec {
namespace {

// The decision order: pulse width (Sony) first, then the leaderless frames, then the frames
// with a leader by their bit timing and leader.
constexpr std::array<FamilyDecoder, 5> kFamilyDecoders{
    DecodeSonyFamily, DecodeSharpFamily, DecodeNecFamily, DecodeKaseikyoFamily, DecodeRcaFamily};

struct Alias {
  std::string_view alias;
  std::string_view name;
};
// IRP's name for the Kaseikyo member with Sharp's vendor code.
constexpr std::array<Alias, 1> kAliases{{{"SharpDVD", "Sharp-K"}}};

std::vector<const ProtocolInfo*> AllProtocols() {
  std::vector<const ProtocolInfo*> all;
  for (auto family :
       {SonyProtocols(), SharpProtocols(), NecProtocols(), KaseikyoProtocols(), RcaProtocols()})
    for (const ProtocolInfo& protocol : family) all.push_back(&protocol);
  return all;
}

}  // namespace

BitWriter& BitWriter::Lsb(std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bits_.push_back(((value >> i) & 1) != 0);
  return *this;
}

BitWriter& BitWriter::Msb(std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
  return *this;
}

std::uint32_t FrameBits::Lsb(int offset, int width) const {
  std::uint32_t value = 0;
  for (int i = 0; i < width && offset + i < kMaxBits; ++i)
    if (bits[offset + i]) value |= std::uint32_t{1} << i;
  return value;
}

std::uint32_t FrameBits::Msb(int offset, int width) const {
  std::uint32_t value = 0;
  for (int i = 0; i < width && offset + i < kMaxBits; ++i)
    value = (value << 1) | (bits[offset + i] ? 1u : 0u);
  return value;
}

bool FrameBits::SameAs(const FrameBits& other, int width) const {
  if (count < width || other.count < width) return false;
  return std::equal(bits.begin(), bits.begin() + width, other.bits.begin());
}

bool Reading::LeaderIs(int index, Pair nominal) const {
  return !frames[index].leaderless && Near(leader_mark[index], nominal.mark * unit) &&
         Near(leader_space[index], nominal.space * unit);
}

bool Near(double counts, double nominal) {
  return std::abs(counts - nominal) <= std::max(0.25 * nominal, 1.0);
}

std::optional<Reading> ReadBlock(const SignalBlock& block, const BitTiming& timing) {
  if (block.WidthCoding() != timing.width_coding) return std::nullopt;
  const int short_time = block.ShortTime();
  const int long_time = block.LongTime();
  const int alt_time = block.AltTime() != 0 ? block.AltTime() : short_time;
  if (short_time == 0 || long_time == 0) return std::nullopt;

  // The bit symbols as stored, in counts (see the walk in pieces.h).
  const Pair zero = timing.width_coding ? Pair{double(alt_time), double(short_time)}
                                        : Pair{double(short_time), double(alt_time)};
  const Pair one = timing.width_coding ? Pair{double(long_time), double(short_time)}
                                       : Pair{double(short_time), double(long_time)};
  Reading reading;
  reading.unit = (zero.Sum() + one.Sum()) / (timing.zero.Sum() + timing.one.Sum());
  if (!Near(zero.mark, timing.zero.mark * reading.unit) ||
      !Near(zero.space, timing.zero.space * reading.unit) ||
      !Near(one.mark, timing.one.mark * reading.unit) ||
      !Near(one.space, timing.one.space * reading.unit))
    return std::nullopt;

  reading.frame_count = block.HasFrame3() ? 3 : block.HasFrame2() ? 2 : 1;
  int bit_index = 0;
  for (int f = 0; f < reading.frame_count; ++f) {
    const int mark = block.LeaderMark(f + 1);
    const int space = block.LeaderSpace(f + 1);
    reading.leader_mark[f] = mark;
    reading.leader_space[f] = space;
    FrameBits& frame = reading.frames[f];
    const auto off = [&](Pair symbol) {
      return std::abs(mark - symbol.mark) + std::abs(space - symbol.space);
    };
    const bool as_zero = Near(mark, zero.mark) && Near(space, zero.space);
    const bool as_one = Near(mark, one.mark) && Near(space, one.space);
    if (mark == 0 && space == 0) {
      frame.leaderless = true;  // no leader and no leader bit either
    } else if (as_zero || as_one) {
      frame.leaderless = true;
      frame.bits[frame.count++] = as_one && (!as_zero || off(one) < off(zero));
    }
    const int stored = block.BitCount(f + 1);
    for (int i = 0; i < stored; ++i, ++bit_index)
      if (frame.count < FrameBits::kMaxBits) frame.bits[frame.count++] = block.Bit(bit_index);
  }
  return reading;
}

bool SameProtocolName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

std::span<const ProtocolInfo* const> Protocols() {
  static const std::vector<const ProtocolInfo*> all = AllProtocols();
  return all;
}

const ProtocolInfo* FindProtocol(std::string_view name) {
  for (const Alias& alias : kAliases)
    if (SameProtocolName(name, alias.alias)) name = alias.name;
  for (const ProtocolInfo* protocol : Protocols())
    if (SameProtocolName(name, protocol->name)) return protocol;
  return nullptr;
}

std::span<const FamilyDecoder> FamilyDecoders() { return kFamilyDecoders; }

void Claim(DecodeDetail& detail, const Reading& reading, const ProtocolInfo& protocol,
           std::optional<int> device, std::optional<int> subdevice, std::optional<int> function,
           bool confident, std::initializer_list<Pair> candidates) {
  detail.decoded.protocol = std::string(protocol.name);
  detail.decoded.device = device;
  detail.decoded.subdevice = subdevice;
  detail.decoded.function = function;
  detail.decoded.confident = confident;
  detail.protocol = &protocol;
  detail.reading = reading;
  for (int f = 0; f < reading.frame_count; ++f) {
    detail.leaders[f].reset();
    for (const Pair& candidate : candidates)
      if (reading.LeaderIs(f, candidate)) {
        detail.leaders[f] = candidate;
        break;
      }
  }
}

}  // namespace kavro::codec
