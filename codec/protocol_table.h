// The protocols the codec knows and what decoding, encoding and calibration share about them:
// each protocol's nominal timing in its own unit T, the ranges of its fields, the frames a set of
// fields makes, and how a block reads under one protocol family's bit timing. Every family lives
// in one proto_*.cpp file; this table lists them in the order the decoder tries them.
//
// A frame without a leader can only be stored with its first bit as the "leader" (that bit's mark
// and space in the leader fields, one bit fewer counted); reading a block undoes that wherever a
// leader equals a bit's mark and space.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "codec/decode.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

// A mark and the space after it, in the protocol's unit T.
struct Pair {
  double mark = 0;
  double space = 0;
  double Sum() const { return mark + space; }
  bool operator==(const Pair&) const = default;
};

// The two bit symbols. Pulse distance: both marks equal, the spaces differ; pulse width: both
// spaces equal, the marks differ.
struct BitTiming {
  bool width_coding = false;
  Pair zero;
  Pair one;
};

enum class SubdeviceRule : std::uint8_t {
  kNone,          // the protocol has no subdevice
  kRequired,      // it has one and no default
  kComplement,    // default 255 - device (NEC)
  kSameAsDevice,  // default the device (Fujitsu)
};

struct FieldLimits {
  int device_max = 0;
  int subdevice_max = 0;
  SubdeviceRule subdevice = SubdeviceRule::kNone;
  int function_max = 0;
};

struct Fields {
  int device = 0;
  int subdevice = 0;  // the default already applied
  int function = 0;
};

// One frame as the encoder lays it out.
struct FrameLayout {
  std::optional<Pair> leader;  // nothing: the frame begins with its first bit
  std::vector<bool> bits;      // in send order, a stop bit included
  double period_us = 0;        // start to start of the next frame; 0 when lead_out_us says it
  double lead_out_us = 0;      // from the end of the last mark to the next frame
};

// Appends fields to a frame's bits.
class BitWriter {
 public:
  BitWriter& Lsb(std::uint32_t value, int width);
  BitWriter& Msb(std::uint32_t value, int width);
  std::vector<bool> Take() { return std::move(bits_); }

 private:
  std::vector<bool> bits_;
};

using FrameBuilder = std::vector<FrameLayout> (*)(const Fields& fields);

struct ProtocolInfo {
  std::string_view name;    // IRP name
  std::string_view family;  // the calibration family: "NEC", "Kaseikyo", "Sony", "Sharp", "RCA"
  int carrier_hz = 0;
  double unit_us = 0;  // T
  BitTiming timing;
  FieldLimits limits;
  FrameBuilder build = nullptr;  // nothing: decoded, never encoded
};

// A frame as read: the leader undone where it was a bit, then the data bits in send order.
struct FrameBits {
  static constexpr int kMaxBits = 96;

  bool leaderless = false;
  int count = 0;  // a leader bit included; at most kMaxBits
  std::array<bool, kMaxBits> bits{};

  // The field of `width` bits from `offset`, least or most significant bit first.
  std::uint32_t Lsb(int offset, int width) const;
  std::uint32_t Msb(int offset, int width) const;
  // Holds n data bits, or n and a stop bit.
  bool Holds(int n) const { return count == n || count == n + 1; }
  // Both frames hold at least `width` bits and agree on them.
  bool SameAs(const FrameBits& other, int width) const;
};

// The block read under one bit timing.
struct Reading {
  double unit = 0;  // counts per T, from the bit pieces
  int frame_count = 0;
  std::array<int, kSignalFrameCount> leader_mark{};  // counts, as stored
  std::array<int, kSignalFrameCount> leader_space{};
  std::array<FrameBits, kSignalFrameCount> frames;

  // Frame `index` (0-based) has a leader of about `nominal`.
  bool LeaderIs(int index, Pair nominal) const;
};

// Nothing when the block's coding or bit pieces do not fit `timing` within the tolerance.
std::optional<Reading> ReadBlock(const SignalBlock& block, const BitTiming& timing);

// A duration matches its nominal value within 25 % or 1 count, whichever is larger.
bool Near(double counts, double nominal);

// A decode with what calibration and encoding from a template need besides.
struct DecodeDetail {
  Decoded decoded;
  const ProtocolInfo* protocol = nullptr;  // nothing: unknown
  Reading reading;
  // The nominal leader each frame matched; nothing for a frame without one.
  std::array<std::optional<Pair>, kSignalFrameCount> leaders;
};

// Fills `detail` and returns true when the block is of the family (confident or not).
using FamilyDecoder = bool (*)(const SignalBlock& block, DecodeDetail& detail);

// Every protocol, in the order the decoder tries them. Each lives in its family's file; the
// pointers are what decodes and look-ups give.
std::span<const ProtocolInfo* const> Protocols();
// By IRP name in any case, or by an alias ("SharpDVD" is Sharp-K); nothing when unknown.
const ProtocolInfo* FindProtocol(std::string_view name);
std::span<const FamilyDecoder> FamilyDecoders();
// Protocol names compare without regard to the case of A to Z.
bool SameProtocolName(std::string_view a, std::string_view b);

// What a family decoder reports, and the leaders of `candidates` its frames matched.
void Claim(DecodeDetail& detail, const Reading& reading, const ProtocolInfo& protocol,
           std::optional<int> device, std::optional<int> subdevice, std::optional<int> function,
           bool confident, std::initializer_list<Pair> candidates);

DecodeDetail DecodeDetailed(const SignalBlock& block);

// The unit in nanoseconds per count that best fits a decoded block's mark+space sums (its
// leaders and bits) against the protocol's nominal durations; nothing for an unknown block.
std::optional<double> FitUnitNs(const SignalBlock& block, const DecodeDetail& detail);

}  // namespace kavro::codec
