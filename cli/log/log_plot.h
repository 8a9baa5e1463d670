// A log drawn by gnuplot as a time chart: each supply's voltage (left axis)
// and current (right axis) against the time of day (UTC), broken where a
// reading was missed or the supply was lost.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "gnuplot.h"
#include "log/log_rows.h"

namespace qmdc::cli {

class LogPlot {
  public:
    // Checks the file name and gnuplot as GnuplotFile does.
    explicit LogPlot(std::string path) : file_(std::move(path)) {}

    void Add(const LogRow& row);
    // Runs gnuplot; throws a Failure when it does not succeed.
    void Write(const std::string& title) const;

  private:
    struct Point {
        double epochSeconds;
        double volts, amps;  // NaN where nothing was read
    };
    GnuplotFile file_;
    std::map<std::string, std::vector<Point>> supplies_;
};

}  // namespace qmdc::cli
