#include "sweep_plan.h"

#include <cmath>

#include "failure.h"
#include "number_text.h"

namespace qmdc::cli {
namespace {

// Levels are kept to a nanovolt, so that 0.1 V steps read 0.3, not 0.30000000000000004.
double RoundToNanovolt(double volts) {
    return std::round(volts * 1e9) / 1e9;
}

}  // namespace

std::vector<double> SweepLevels(double from, double to, double step) {
    if (!(step > 0.0)) throw UsageError("--step must be above 0 V");
    if (from < 0.0 || to < 0.0) throw UsageError("a supply's voltage cannot be below 0 V");
    const double span = std::fabs(to - from);
    const double whole = std::floor(span / step + 1e-9);
    if (whole + 2 > double(kMaxSweepSteps)) {
        throw UsageError("a sweep from " + RealText(from) + " V to " + RealText(to) + " V in " +
                         RealText(step) + " V steps has more than " +
                         std::to_string(kMaxSweepSteps) + " steps");
    }
    const double direction = to >= from ? 1.0 : -1.0;
    std::vector<double> levels;
    for (size_t i = 0; i <= size_t(whole); ++i) {
        levels.push_back(RoundToNanovolt(from + direction * step * double(i)));
    }
    if (std::fabs(levels.back() - to) > 1e-9) levels.push_back(to);
    return levels;
}

}  // namespace qmdc::cli
