// A log drawn by gnuplot as a time chart: voltage above, current below, on
// one time axis (UTC), one colour per supply in both; broken where a reading
// was missed or the supply was lost. Each supply's readings are held in a
// BoundedSeries, so a log of days takes no more memory than one of minutes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "gnuplot.h"
#include "log/bounded_series.h"
#include "log/log_rows.h"

namespace qmdc::cli {

class LogPlot {
  public:
    // The most buckets a supply's series holds: more than the plot is wide
    // in pixels, so a plot of a short log shows every reading.
    static constexpr size_t kSeriesLimit = 2048;
    // Past this many supplies the legend is left out (a note says so): their
    // names would cover the plot.
    static constexpr size_t kLegendLimit = 8;

    // Checks the file name and gnuplot as GnuplotFile does; supplies in the
    // order their colours and legend follow.
    LogPlot(std::string path, const std::vector<std::string>& supplies);

    void Add(const LogRow& row);
    // Runs gnuplot; throws a Failure when it does not succeed.
    void Write(const std::string& title) const;

  private:
    struct Supply {
        std::string name;
        BoundedSeries series;
    };
    std::string Script(const std::string& title) const;

    GnuplotFile file_;
    std::vector<Supply> supplies_;
    std::map<std::string, size_t> index_;  // name -> supplies_
};

// The colour of the i-th supply as "#rrggbb", each different: a palette of ten that tell
// apart well, then hues spread around the circle.
std::string SupplyColour(size_t i);

}  // namespace qmdc::cli
