// The panel's supply states (SupplyRack::State()) as the exporter's
// snapshots, so that the panel's GET /metrics has the same families. The
// panel counts nothing and knows no power rating: those series are left out.
#pragma once

#include <nlohmann/json.hpp>

#include <vector>

#include "metrics/supply_metrics.h"

namespace qmdc::cli::metrics {

// state: as RackFeed::Snapshot() gives it, the newest readings in each
// supply's chart points.
std::vector<SupplySnapshot> PanelSnapshots(const nlohmann::json& state);

}  // namespace qmdc::cli::metrics
