// The voltage levels of a sweep.
#pragma once

#include <cstddef>
#include <vector>

namespace qmdc::cli {

// A sweep is stopped from growing past this many steps: a step too small for
// the span is more likely a typing error than a wish.
constexpr size_t kMaxSweepSteps = 100000;

// From `from` to `to` (either way) in steps of `step`, both ends included
// (the last step is shorter when the span is not a whole number of steps).
// Throws UsageError for a step that is not positive or levels below 0 V.
std::vector<double> SweepLevels(double from, double to, double step);

}  // namespace qmdc::cli
