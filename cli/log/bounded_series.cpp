#include "log/bounded_series.h"

#include <cmath>

namespace qmdc::cli {
namespace {

// The least and the greatest of two, where NaN means "none".
double Least(double a, double b) {
    return std::isnan(a) ? b : std::isnan(b) ? a : std::fmin(a, b);
}
double Greatest(double a, double b) {
    return std::isnan(a) ? b : std::isnan(b) ? a : std::fmax(a, b);
}

void Merge(SeriesBucket& into, const SeriesBucket& next) {
    into.lastSeconds = next.lastSeconds;
    into.voltsMin = Least(into.voltsMin, next.voltsMin);
    into.voltsMax = Greatest(into.voltsMax, next.voltsMax);
    into.ampsMin = Least(into.ampsMin, next.ampsMin);
    into.ampsMax = Greatest(into.ampsMax, next.ampsMax);
    into.readings += next.readings;
}

}  // namespace

BoundedSeries::BoundedSeries(size_t limit) : limit_(limit < 2 ? 2 : limit & ~size_t(1)) {
    buckets_.reserve(limit_);
}

void BoundedSeries::Add(double epochSeconds, double volts, double amps) {
    SeriesBucket reading;
    reading.firstSeconds = reading.lastSeconds = epochSeconds;
    reading.voltsMin = reading.voltsMax = volts;
    reading.ampsMin = reading.ampsMax = amps;
    reading.readings = 1;
    if (!buckets_.empty() && buckets_.back().readings < span_) {
        Merge(buckets_.back(), reading);
        return;
    }
    if (buckets_.size() == limit_) Halve();
    buckets_.push_back(reading);
}

// Every bucket is full here: pairs become one, and each bucket from now on
// takes twice the readings.
void BoundedSeries::Halve() {
    for (size_t i = 0; i < limit_ / 2; ++i) {
        buckets_[i] = buckets_[2 * i];
        Merge(buckets_[i], buckets_[2 * i + 1]);
    }
    buckets_.resize(limit_ / 2);
    span_ *= 2;
}

}  // namespace qmdc::cli
