// The controller's time unit, found from blocks whose decode is confident.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "codec/outcome.h"
#include "datafile/signal_block.h"

namespace kavro::codec {

struct FamilyFit {
  std::string family;  // "NEC", "Sony", "Kaseikyo", ...
  int codes = 0;
  double unit_ns = 0;  // the family's median
};

struct Calibration {
  double unit_ns = 0;         // the median over all supporting codes
  int supporting = 0;         // codes that decoded confidently
  double spread_percent = 0;  // (largest - smallest) / median of the per-code fits
  std::vector<FamilyFit> families;
  // For instance "NEC and Sony disagree by 7.2 %" when families differ by more than 5 %.
  std::vector<std::string> warnings;
};

// For every confident decode, the unit that best fits its mark+space sums (leader, and each bit
// piece pair) against the protocol's nominal microseconds (least squares); the result is the
// median. Refused when no block decodes confidently.
Outcome<Calibration> Calibrate(std::span<const SignalBlock> blocks);

}  // namespace kavro::codec
