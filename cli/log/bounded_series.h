// One supply's readings for the plot, in memory that does not grow with the
// length of the log: up to a limit every reading is kept; past it, neighbouring
// buckets are merged two into one, each keeping the least and the greatest
// voltage and current of its readings, so that a spike or a dip of a single
// reading still shows in a day's plot.
#pragma once

#include <cstddef>
#include <vector>

namespace qmdc::cli {

struct SeriesBucket {
    double firstSeconds = 0.0, lastSeconds = 0.0;  // times of its first and last reading
    double voltsMin, voltsMax, ampsMin, ampsMax;   // NaN when none of its readings has a value
    long long readings = 0;                        // with or without a value
    bool empty() const { return voltsMin != voltsMin; }  // NaN: nothing was read
};

class BoundedSeries {
  public:
    // limit: the most buckets ever held (at least 2; an odd one is taken down to even).
    explicit BoundedSeries(size_t limit);

    // A reading at a time (seconds since the epoch, not before the last one);
    // NaN for a reading with no value (missed or lost).
    void Add(double epochSeconds, double volts, double amps);

    const std::vector<SeriesBucket>& buckets() const { return buckets_; }
    // How many readings each bucket holds (the last one may hold fewer): 1 until
    // the limit is passed, then 2, 4, 8, ...
    long long span() const { return span_; }

  private:
    void Halve();

    size_t limit_;
    long long span_ = 1;
    std::vector<SeriesBucket> buckets_;
};

}  // namespace qmdc::cli
