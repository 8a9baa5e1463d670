// The panel's supply states (SupplyRack::State()) as the exporter's
// snapshots, so that the panel's GET /metrics has the same families. The
// panel counts nothing and knows no power rating: those series are left out.
#pragma once

#include <nlohmann/json.hpp>

#include <vector>

#include "metrics/supply_metrics.h"

namespace qmdc::cli::metrics {

// nowEpoch: the time of the scrape, for the age of each reading.
std::vector<SupplySnapshot> PanelSnapshots(const nlohmann::json& state, double nowEpoch);

}  // namespace qmdc::cli::metrics
