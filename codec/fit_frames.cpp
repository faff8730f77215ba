#include "codec/fit_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kavro::codec::fit {
namespace {

// What is wrong with the signal as a whole before its pieces are looked at; empty when nothing.
std::string WholeSignalProblem(const IrSignal& signal) {
  if (signal.intro.empty() && signal.repeat.empty()) return "an empty signal";
  if (!signal.intro.empty() && !signal.repeat.empty() && signal.intro.back() > 0)
    return "the intro ends with a mark, so nothing parts it from the repeat";
  return "";
}

}  // namespace

Outcome<std::vector<RawFrame>> SplitFrames(const IrSignal& signal, double unit_ns) {
  if (const std::string problem = WholeSignalProblem(signal); !problem.empty())
    return Outcome<std::vector<RawFrame>>::Fail(problem);

  std::vector<double> counts;
  counts.reserve(signal.intro.size() + signal.repeat.size());
  for (const auto* part : {&signal.intro, &signal.repeat}) {
    for (int32_t us : *part) {
      const std::size_t i = counts.size();
      const bool mark_expected = i % 2 == 0;
      if (us == 0)
        return Outcome<std::vector<RawFrame>>::Fail("a duration of 0 at piece " +
                                                    std::to_string(i + 1));
      if ((us > 0) != mark_expected)
        return Outcome<std::vector<RawFrame>>::Fail(
            i == 0 ? "the signal begins with a space"
                   : "marks and spaces do not alternate at piece " + std::to_string(i + 1));
      const double c = std::abs(static_cast<double>(us)) * 1000.0 / unit_ns;
      if (c < 0.5)
        return Outcome<std::vector<RawFrame>>::Fail("a piece of " + std::to_string(std::llabs(us)) +
                                                    " µs is less than one count");
      counts.push_back(c);
    }
  }

  const std::size_t n = counts.size();
  // Spaces between marks; a final space is left out, being a lead-out or the last bit's.
  double shortest = 0;
  for (std::size_t i = 1; i + 1 < n; i += 2)
    shortest = shortest == 0 ? counts[i] : std::min(shortest, counts[i]);
  if (shortest == 0 && n % 2 == 0) shortest = counts[n - 1];
  const double first = std::max(counts[0], n > 1 ? counts[1] : 0.0);
  auto is_pause = [&](double space) { return space > 1.25 * first && space > 3 * shortest; };

  std::vector<RawFrame> frames(1);
  for (std::size_t i = 0; i < n; i += 2) {
    Pair pair{counts[i]};
    if (i + 1 >= n) {
      pair.open = true;
    } else {
      pair.space = counts[i + 1];
      pair.open = is_pause(pair.space);
    }
    frames.back().pairs.push_back(pair);
    if (pair.open && i + 2 < n) frames.emplace_back();
  }
  if (frames.size() > 3)
    return Outcome<std::vector<RawFrame>>::Fail(std::to_string(frames.size()) + " frames");
  return frames;
}

}  // namespace kavro::codec::fit
