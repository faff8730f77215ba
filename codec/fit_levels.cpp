#include "codec/fit_levels.h"

#include <algorithm>
#include <cmath>

namespace kavro::codec::fit {

bool SameDuration(double measured, double nominal) {
  return std::abs(measured - nominal) <= std::max(0.25 * nominal, 1.0);
}

std::vector<double> Levels(std::vector<double> durations) {
  std::sort(durations.begin(), durations.end());
  std::vector<double> levels;
  double sum = 0;
  int members = 0;
  for (double d : durations) {
    if (members > 0 && !SameDuration(d, sum / members)) {
      levels.push_back(sum / members);
      sum = 0;
      members = 0;
    }
    sum += d;
    ++members;
  }
  if (members > 0) levels.push_back(sum / members);
  return levels;
}

int WholeCounts(double counts) {
  constexpr int kHuge = 1'000'000'000;
  if (!(counts < kHuge)) return kHuge;
  return static_cast<int>(std::lround(std::max(counts, 0.0)));
}

}  // namespace kavro::codec::fit
