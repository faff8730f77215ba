#include "codec/calibrate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "codec/protocol_table.h"

namespace kavro::codec {
namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

// Least squares of counts n against nominal microseconds t: the unit is sum(t n) / sum(n n).
// Mark and space are taken together, so a receiver that stretches marks and shortens spaces by
// the same amount does not move the fit.
std::optional<double> FitUnitNs(const SignalBlock& block, const DecodeDetail& detail) {
  if (!detail.protocol) return std::nullopt;
  const double t_us = detail.protocol->unit_us;
  const BitTiming& timing = detail.protocol->timing;
  const int short_time = block.ShortTime();
  const int alt_time = block.AltTime() != 0 ? block.AltTime() : short_time;
  const double zero_counts = short_time + alt_time;
  const double one_counts = short_time + block.LongTime();

  double tn = 0, nn = 0;
  const auto add = [&](double counts, double nominal_t) {
    tn += nominal_t * t_us * counts;
    nn += counts * counts;
  };
  int bit_index = 0;
  for (int f = 0; f < detail.reading.frame_count; ++f) {
    const FrameBits& frame = detail.reading.frames[f];
    const double leader = detail.reading.leader_mark[f] + detail.reading.leader_space[f];
    if (detail.leaders[f])
      add(leader, detail.leaders[f]->Sum());
    else if (frame.leaderless && leader > 0)
      add(leader, (frame.bits[0] ? timing.one : timing.zero).Sum());
    for (int i = 0; i < block.BitCount(f + 1) && bit_index < kSignalBitCount; ++i, ++bit_index) {
      const bool one = block.Bit(bit_index);
      add(one ? one_counts : zero_counts, (one ? timing.one : timing.zero).Sum());
    }
  }
  if (nn <= 0) return std::nullopt;
  return tn / nn * 1000;
}

Outcome<Calibration> Calibrate(std::span<const SignalBlock> blocks) {
  std::vector<double> fits;
  std::map<std::string, std::vector<double>> by_family;
  for (const SignalBlock& block : blocks) {
    const DecodeDetail detail = DecodeDetailed(block);
    if (!detail.decoded.confident) continue;
    if (const std::optional<double> unit = FitUnitNs(block, detail)) {
      fits.push_back(*unit);
      by_family[std::string(detail.protocol->family)].push_back(*unit);
    }
  }
  if (fits.empty())
    return Outcome<Calibration>::Fail(
        "no code decodes confidently, so there is nothing to find the time unit from");

  Calibration result;
  result.unit_ns = Median(fits);
  result.supporting = static_cast<int>(fits.size());
  const auto [low, high] = std::minmax_element(fits.begin(), fits.end());
  result.spread_percent = (*high - *low) / result.unit_ns * 100;
  for (const auto& [family, units] : by_family)
    result.families.push_back({family, static_cast<int>(units.size()), Median(units)});
  std::stable_sort(result.families.begin(), result.families.end(),
                   [](const FamilyFit& a, const FamilyFit& b) { return a.codes > b.codes; });
  for (std::size_t i = 0; i < result.families.size(); ++i)
    for (std::size_t j = i + 1; j < result.families.size(); ++j) {
      const FamilyFit& a = result.families[i];
      const FamilyFit& b = result.families[j];
      const double apart = std::abs(a.unit_ns - b.unit_ns) / result.unit_ns * 100;
      if (apart > 5)
        result.warnings.push_back(a.family + " and " + b.family + " disagree by " + Percent(apart) +
                                  " %");
    }
  return result;
}

}  // namespace kavro::codec
