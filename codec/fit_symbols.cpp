#include "codec/fit_symbols.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "codec/fit_levels.h"

namespace kavro::codec::fit {
namespace {

struct PieceLevels {
  std::vector<double> marks;
  std::vector<double> spaces;
};

// The lengths of the bit marks and of the bit spaces of `frames`; an open pair's space is not
// the bit's own and is left out.
PieceLevels BitLevels(const std::vector<RawFrame>& frames) {
  std::vector<double> marks, spaces;
  for (const RawFrame& frame : frames) {
    for (std::size_t i = 1; i < frame.pairs.size(); ++i) {
      marks.push_back(frame.pairs[i].mark);
      if (!frame.pairs[i].open) spaces.push_back(frame.pairs[i].space);
    }
  }
  return {Levels(std::move(marks)), Levels(std::move(spaces))};
}

// Why the levels cannot be two symbols of one varying piece; empty when they can.
std::string ShapeProblem(const PieceLevels& levels) {
  const std::size_t marks = levels.marks.size(), spaces = levels.spaces.size();
  if (marks >= 2 && spaces >= 2) return "bi-phase coding";
  if (marks > 2 || spaces > 2) return std::to_string(std::max(marks, spaces)) + " symbol widths";
  return "";
}

}  // namespace

int BitSymbols::Mark(bool one) const {
  const int zero = alt_time != 0 ? alt_time : short_time;
  if (width_coding) return one ? long_time : zero;
  return short_time;
}

int BitSymbols::Space(bool one) const {
  const int zero = alt_time != 0 ? alt_time : short_time;
  if (width_coding) return short_time;
  return one ? long_time : zero;
}

bool BitSymbols::BitOf(const Pair& pair) const {
  if (width_coding) return std::abs(pair.mark - Mark(true)) <= std::abs(pair.mark - Mark(false));
  if (pair.open) return false;
  return std::abs(pair.space - Space(true)) <= std::abs(pair.space - Space(false));
}

std::optional<bool> BitSymbols::SymbolOf(const Pair& pair) const {
  if (pair.open) return std::nullopt;
  for (bool one : {true, false})
    if (SameDuration(pair.mark, Mark(one)) && SameDuration(pair.space, Space(one))) return one;
  return std::nullopt;
}

Outcome<BitSymbols> FitSymbols(const std::vector<RawFrame>& frames) {
  for (const RawFrame& frame : frames) {
    if (const std::string problem = ShapeProblem(BitLevels({frame})); !problem.empty())
      return Outcome<BitSymbols>::Fail(problem);
  }
  const PieceLevels levels = BitLevels(frames);
  if (levels.marks.empty()) return Outcome<BitSymbols>::Fail("no bits");
  if (!ShapeProblem(levels).empty())
    return Outcome<BitSymbols>::Fail("bit timing differs between frames");

  BitSymbols symbols;
  const std::vector<double>& marks = levels.marks;
  const std::vector<double>& spaces = levels.spaces;
  int zero = 0;
  if (marks.size() == 2) {
    symbols.width_coding = true;
    symbols.long_time = WholeCounts(marks[1]);
    zero = WholeCounts(marks[0]);
    symbols.short_time = spaces.empty() ? zero : WholeCounts(spaces[0]);
  } else if (spaces.size() == 2) {
    symbols.short_time = WholeCounts(marks[0]);
    symbols.long_time = WholeCounts(spaces[1]);
    zero = WholeCounts(spaces[0]);
  } else if (!spaces.empty() && marks[0] > spaces[0] && !SameDuration(marks[0], spaces[0])) {
    // One symbol only: it is taken as a 1 (a 0 would leave LongTime unknown), so the coding
    // follows from whether its mark or its space is the longer piece.
    symbols.width_coding = true;
    symbols.long_time = WholeCounts(marks[0]);
    symbols.short_time = WholeCounts(spaces[0]);
  } else {
    symbols.short_time = WholeCounts(marks[0]);
    symbols.long_time = spaces.empty() ? symbols.short_time : WholeCounts(spaces[0]);
  }
  symbols.alt_time = zero == symbols.short_time ? 0 : zero;
  return symbols;
}

}  // namespace kavro::codec::fit
