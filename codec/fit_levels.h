// How fitting timings into the block model tells durations apart: one tolerance for "the same
// duration", and the grouping of many measured durations into the few lengths they stand for.
#pragma once

#include <vector>

namespace kavro::codec::fit {

// `measured` stands for `nominal` (both in counts) when within 25 % of it or 1 count, whichever
// is larger; common decoders allow 25 to 30 %.
bool SameDuration(double measured, double nominal);

// The distinct lengths among `durations`, ascending, each the mean of the durations it groups:
// sorted durations join the current group while they are the same duration as its mean.
std::vector<double> Levels(std::vector<double> durations);

// Counts rounded to whole ones. Anything from 10^9 up (and what is not a number) gives 10^9,
// beyond every field, so an absurd duration is refused by the range checks, never wrapped.
int WholeCounts(double counts);

}  // namespace kavro::codec::fit
