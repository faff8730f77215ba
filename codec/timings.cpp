#include "codec/timings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "codec/block_limits.h"
#include "codec/fit_frames.h"
#include "codec/fit_levels.h"
#include "codec/fit_symbols.h"
#include "codec/pieces.h"

namespace kavro::codec {
namespace {

// A frame's bit count field holds 7 bits: the block's 80 bits always fit.
static_assert(kSignalBitCount <= 127);

// One frame as the block stores it.
struct FitFrame {
  int leader_mark = 0;
  int leader_space = 0;
  std::vector<bool> bits;
  int pause = 0;  // before the next frame
};

// The frame's fields with the symbols known; an empty reason when they fit their fields.
std::string FitOneFrame(const fit::RawFrame& raw, const fit::BitSymbols& symbols, bool last,
                        FitFrame& frame) {
  const fit::Pair& first = raw.pairs.front();
  // A leaderless frame keeps its first bit in the leader fields, exactly as that symbol.
  if (const std::optional<bool> one = symbols.SymbolOf(first)) {
    frame.leader_mark = symbols.Mark(*one);
    frame.leader_space = symbols.Space(*one);
  } else {
    frame.leader_mark = fit::WholeCounts(first.mark);
    frame.leader_space = fit::WholeCounts(first.space);
  }

  for (std::size_t i = 1; i < raw.pairs.size(); ++i)
    frame.bits.push_back(symbols.BitOf(raw.pairs[i]));
  if (!last) {
    // The pause ran on from the last bit's space.
    const fit::Pair& end = raw.pairs.back();
    frame.pause = std::max(0, fit::WholeCounts(end.space) - symbols.Space(frame.bits.back()));
  }
  return FrameBeyondFields(frame.leader_mark, frame.leader_space, frame.pause);
}

SignalBlock Assemble(const fit::BitSymbols& symbols, const std::vector<FitFrame>& frames) {
  std::array<unsigned char, kSignalBlockSize> b{};
  b[0] = static_cast<unsigned char>(symbols.long_time);
  b[1] = static_cast<unsigned char>(symbols.short_time);
  b[2] = static_cast<unsigned char>(symbols.alt_time);
  int bit_index = 0;
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const FitFrame& frame = frames[f];
    const std::size_t h = 3 + 6 * f;
    b[h] = static_cast<unsigned char>(frame.leader_mark >> 8);
    b[h + 1] = static_cast<unsigned char>(frame.leader_mark & 0xFF);
    b[h + 2] = static_cast<unsigned char>((frame.bits.size() << 1) | (frame.leader_space >> 8));
    b[h + 3] = static_cast<unsigned char>(frame.leader_space & 0xFF);
    if (f + 1 < frames.size()) {
      b[h + 4] = static_cast<unsigned char>(0x80 | (frame.pause >> 8));
      b[h + 5] = static_cast<unsigned char>(frame.pause & 0xFF);
    }
    for (bool bit : frame.bits) {
      if (bit) b[19 + bit_index / 8] |= static_cast<unsigned char>(0x80 >> (bit_index % 8));
      ++bit_index;
    }
  }
  if (symbols.width_coding) b[3] |= 0x80;
  return SignalBlock(b);
}

}  // namespace

IrSignal BlockToSignal(const SignalBlock& block, double unit_ns, int carrier_hz) {
  IrSignal signal;
  signal.carrier_hz = carrier_hz;
  if (!(unit_ns > 0) || !std::isfinite(unit_ns)) return signal;

  // Signed counts, marks positive: a piece of 0 counts is left out and what it parted joins,
  // so that marks and spaces still alternate; a space before the first mark is dropped.
  std::vector<std::int64_t> counts;
  for (const Piece& piece : WalkBlock(block)) {
    if (piece.counts == 0) continue;
    const std::int64_t c = piece.IsMark() ? piece.counts : -std::int64_t{piece.counts};
    if (counts.empty() && c < 0) continue;
    if (!counts.empty() && (counts.back() > 0) == (c > 0))
      counts.back() += c;
    else
      counts.push_back(c);
  }
  signal.intro.reserve(counts.size());
  for (std::int64_t c : counts) {
    const double us = std::round(static_cast<double>(c) * unit_ns / 1000.0);
    const double limit = std::numeric_limits<std::int32_t>::max();
    signal.intro.push_back(static_cast<std::int32_t>(std::clamp(us, -limit, limit)));
  }
  return signal;
}

Outcome<SignalBlock> FitSignal(const IrSignal& signal, double unit_ns) {
  using Result = Outcome<SignalBlock>;
  if (!(unit_ns > 0) || !std::isfinite(unit_ns)) return Result::Fail("no positive time unit");

  auto split = fit::SplitFrames(signal, unit_ns);
  if (!split) return Result::Fail(split.reason());
  const std::vector<fit::RawFrame>& raw = split.value();

  int bits = 0;
  for (std::size_t f = 0; f < raw.size(); ++f) {
    const int frame_bits = static_cast<int>(raw[f].pairs.size()) - 1;
    if (frame_bits < 1) return Result::Fail("frame " + std::to_string(f + 1) + " has no bits");
    bits += frame_bits;
  }
  if (bits > kSignalBitCount) return Result::Fail(std::to_string(bits) + " bits");

  auto symbols = fit::FitSymbols(raw);
  if (!symbols) return Result::Fail(symbols.reason());
  if (std::string problem =
          BitPiecesBeyondField(symbols->long_time, symbols->short_time, symbols->alt_time);
      !problem.empty())
    return Result::Fail(std::move(problem));

  std::vector<FitFrame> frames(raw.size());
  for (std::size_t f = 0; f < raw.size(); ++f) {
    const std::string problem = FitOneFrame(raw[f], *symbols, f + 1 == raw.size(), frames[f]);
    if (!problem.empty()) return Result::Fail(problem);
  }

  SignalBlock block = Assemble(*symbols, frames);
  if (block.IsEmpty())
    return Result::Fail("the first 8 data bits are all 0, and such a block reads as empty");
  return block;
}

}  // namespace kavro::codec
