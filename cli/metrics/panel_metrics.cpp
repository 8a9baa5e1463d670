#include "metrics/panel_metrics.h"

namespace qmdc::cli::metrics {
namespace {

// The value at a JSON pointer when it is of the type asked, else fallback:
// a state that lacks a field gives a default, never an exception.
template <class T>
T Field(const nlohmann::json& object, const char* pointer, T fallback) {
    const nlohmann::json::json_pointer at(pointer);
    if (!object.contains(at)) return fallback;
    const nlohmann::json& value = object.at(at);
    if constexpr (std::is_same_v<T, std::string>) {
        return value.is_string() ? value.get<std::string>() : fallback;
    } else if constexpr (std::is_same_v<T, bool>) {
        return value.is_boolean() ? value.get<bool>() : fallback;
    } else {
        return value.is_number() ? value.get<T>() : fallback;
    }
}

}  // namespace

std::vector<SupplySnapshot> PanelSnapshots(const nlohmann::json& state) {
    std::vector<SupplySnapshot> snapshots;
    if (!state.contains("supplies") || !state["supplies"].is_array()) return snapshots;
    for (const nlohmann::json& supply : state["supplies"]) {
        if (!supply.is_object()) continue;
        SupplySnapshot s;
        s.supply = Field<std::string>(supply, "/name", "");
        s.model = Field<std::string>(supply, "/identity/model", "");
        s.serial = Field<std::string>(supply, "/identity/serial", "");
        // The readings are the chart's points, [ms before now, volts, amps],
        // the newest last; those of a lost supply stay in the chart.
        const nlohmann::json& points = supply.contains("p") ? supply["p"] : nlohmann::json();
        const bool read = points.is_array() && !points.empty() && points.back().is_array() &&
                          points.back().size() == 3;
        s.up = Field<bool>(supply, "/connected", false) && read;
        if (!s.up) {
            snapshots.push_back(std::move(s));
            continue;
        }
        const nlohmann::json& newest = points.back();
        SupplyReadings r;
        r.volts = Field<double>(newest, "/1", 0.0);
        r.amps = Field<double>(newest, "/2", 0.0);
        r.watts = r.volts * r.amps;
        r.voltageLevel = Field<double>(supply, "/levels/voltage", 0.0);
        r.currentLevel = Field<double>(supply, "/levels/current", 0.0);
        r.ovpLevel = Field<double>(supply, "/levels/ovp", 0.0);
        r.ocpLevel = Field<double>(supply, "/levels/ocp", 0.0);
        r.ratedVolts = Field<double>(supply, "/identity/max_volts", 0.0);
        r.ratedAmps = Field<double>(supply, "/identity/max_amps", 0.0);
        r.outputEnabled = Field<bool>(supply, "/output", false);
        r.mode = Field<std::string>(supply, "/mode", "off");
        r.protection = Field<std::string>(supply, "/protection", "none");
        s.readings = r;
        s.lastGoodAgeSeconds = std::max(0.0, -Field<double>(newest, "/0", 0.0) / 1000.0);
        snapshots.push_back(std::move(s));
    }
    return snapshots;
}

}  // namespace qmdc::cli::metrics
