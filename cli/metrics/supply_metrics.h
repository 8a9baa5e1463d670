// What the exporter and the panel say about each supply, as metric families:
// one series per supply, labelled supply (the name given), model and serial.
// A supply that cannot be read has qmdc_up 0 and no readings at all, so that
// the server marks them stale instead of keeping the last values as current.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "metrics/exposition.h"

namespace qmdc::cli::metrics {

// One good reading of a supply.
struct SupplyReadings {
    double volts = 0.0, amps = 0.0, watts = 0.0;  // measured
    double voltageLevel = 0.0, currentLevel = 0.0;
    double ovpLevel = 0.0, ocpLevel = 0.0;
    double ratedVolts = 0.0, ratedAmps = 0.0;
    std::optional<double> ratedWatts;  // not every source knows it
    bool outputEnabled = false;
    std::string mode;        // "CV", "CC", "UR" or "off"
    std::string protection;  // "OV", "OC" or "none"
};

struct SupplyCounts {
    double readings = 0, failures = 0, reconnects = 0;
};

struct SupplySnapshot {
    std::string supply;  // the resource or logical name as given
    std::string model;   // "" until the supply was first reached
    std::string serial;
    bool up = false;                           // the last reading succeeded
    std::optional<SupplyReadings> readings;    // only while up
    std::optional<double> lastGoodAgeSeconds;  // since the last good reading, if any
    std::optional<double> readingSeconds;      // how long the last reading took
    std::optional<SupplyCounts> counts;        // not every source counts
};

// The regulation modes and protections, each a series of its own.
extern const char* const kRegulationModes[4];

void AddSupplyMetrics(MetricSet& set, const std::vector<SupplySnapshot>& supplies);
// qmdc_exporter_build_info{version="..."} 1
void AddBuildInfo(MetricSet& set);

}  // namespace qmdc::cli::metrics

namespace qmdc::cli::metrics {

// What GET /metrics answers: the supplies and the build info, in the format
// the Accept header asks for.
struct MetricsPage {
    std::string contentType;
    std::string body;
};
MetricsPage RenderMetrics(const std::vector<SupplySnapshot>& supplies, const std::string& accept);

}  // namespace qmdc::cli::metrics
