#include "log/time_axis.h"

#include <algorithm>
#include <cmath>

namespace qmdc::cli {
namespace {

constexpr double kMinute = 60.0, kHour = 3600.0, kDay = 86400.0, kWeek = 7 * kDay;

// Each divides the next larger unit, so that a label falls on a round time of day.
constexpr double kSteps[] = {
    1,        2,           5,           10,           15,           30,
    kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
    2 * kDay, kWeek,
};

TimeAxis WithStep(double from, double to, double step) {
    TimeAxis axis;
    axis.from = from;
    axis.to = to;
    axis.step = step;
    axis.firstLabel = std::ceil(from / step) * step;
    return axis;
}

}  // namespace

int TimeAxis::labels() const {
    return to < firstLabel ? 0 : static_cast<int>(std::floor((to - firstLabel) / step)) + 1;
}

TimeAxis ChooseTimeAxis(double first, double last, int maxLabels) {
    maxLabels = std::max(1, maxLabels);
    double from = std::min(first, last), to = std::max(first, last);
    if (to - from < 1.0) {  // a single reading: a second around it
        from -= 0.5;
        to += 0.5;
    }
    TimeAxis axis;
    bool found = false;
    for (const double step : kSteps) {
        axis = WithStep(from, to, step);
        if (axis.labels() <= maxLabels) {
            found = true;
            break;
        }
    }
    if (!found) {  // longer than the table: whole weeks
        const double weeks = std::ceil((to - from) / (kWeek * maxLabels));
        axis = WithStep(from, to, weeks * kWeek);
        while (axis.labels() > maxLabels) axis = WithStep(from, to, axis.step + kWeek);
    }
    const bool severalDays = std::floor(from / kDay) != std::floor(to / kDay);
    if (axis.step >= kDay) {
        axis.format = "%d %b";
    } else if (axis.step < kMinute) {
        axis.format = severalDays ? "%H:%M:%S\\n%d %b" : "%H:%M:%S";
    } else {
        axis.format = severalDays ? "%H:%M\\n%d %b" : "%H:%M";
    }
    return axis;
}

}  // namespace qmdc::cli
