// The time axis of a log's plot: a step between labels taken from the steps
// a person reads easily (5 s, 15 min, 6 h, 1 day, ...), the smallest that
// keeps the labels few enough not to run into one another, and a label text
// that says no more than the step needs (seconds only under a minute, the
// date once the log passes midnight).
#pragma once

namespace qmdc::cli {

struct TimeAxis {
    double from = 0.0, to = 0.0;  // the range drawn, seconds since the epoch (UTC)
    double firstLabel = 0.0;      // the first whole step in the range
    double step = 1.0;            // seconds between labels
    const char* format = "";      // gnuplot's time format of a label

    // How many labels fall in the range.
    int labels() const;
};

// For readings from first to last (seconds since the epoch); at most
// maxLabels labels (at least 1).
TimeAxis ChooseTimeAxis(double first, double last, int maxLabels);

}  // namespace qmdc::cli
