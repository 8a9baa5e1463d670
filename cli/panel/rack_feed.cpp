#include "panel/rack_feed.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qmdc::cli::panel {
namespace {

std::string EventText(const nlohmann::json& message) {
    return "data: " + message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
           "\n\n";
}

// A point as the page takes it: milliseconds before the message's time, so
// that a tick's points cost a few digits each.
nlohmann::json PointJson(const ChartPoint& point, double now) {
    return nlohmann::json::array({std::lround((point.time - now) * 1000.0),
                                  Significant(point.volts), Significant(point.amps)});
}

double Milliseconds(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

}  // namespace

double Significant(double value) {
    if (!std::isfinite(value)) return value;
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return std::strtod(text, nullptr);
}

RackFeed::RackFeed(std::vector<nlohmann::json> states, FeedSettings settings)
    : settings_(settings) {
    for (nlohmann::json& state : states) supplies_.push_back({std::move(state), {}});
}

bool RackFeed::Add(const std::vector<SupplyDelta>& deltas, double now) {
    nlohmann::json changed = nlohmann::json::object();
    for (size_t i = 0; i < deltas.size() && i < supplies_.size(); ++i) {
        const SupplyDelta& delta = deltas[i];
        if (delta.empty()) continue;
        Supply& supply = supplies_[i];
        nlohmann::json message = delta.fields;
        for (const auto& [name, value] : delta.fields.items()) supply.fields[name] = value;
        if (!delta.points.empty()) {
            nlohmann::json& points = message["p"] = nlohmann::json::array();
            for (const ChartPoint& point : delta.points) {
                points.push_back(PointJson(point, now));
                supply.points.push_back(point);
                if (supply.points.size() > settings_.pointsKept) supply.points.pop_front();
            }
        }
        changed[std::to_string(i)] = std::move(message);
    }
    if (changed.empty()) return false;
    ++version_;
    ticks_.emplace_back(version_,
                        EventText({{"v", version_}, {"now", Milliseconds(now)}, {"s", changed}}));
    if (ticks_.size() > settings_.ticksKept) ticks_.pop_front();
    return true;
}

nlohmann::json RackFeed::Snapshot(double now) const {
    nlohmann::json supplies = nlohmann::json::array();
    for (size_t i = 0; i < supplies_.size(); ++i) {
        nlohmann::json supply = supplies_[i].fields;
        supply["index"] = i;
        nlohmann::json& points = supply["p"] = nlohmann::json::array();
        for (const ChartPoint& point : supplies_[i].points) points.push_back(PointJson(point, now));
        supplies.push_back(std::move(supply));
    }
    return {{"full", true},
            {"v", version_},
            {"now", Milliseconds(now)},
            {"rate_hz", settings_.rateHz},
            {"chart_seconds", settings_.chartSeconds},
            {"tick_ms", settings_.tickMs},
            {"supplies", std::move(supplies)}};
}

std::string RackFeed::EventsSince(unsigned long long& seen, double now) const {
    if (seen == version_) return "";
    const bool known =
        seen != 0 && !ticks_.empty() && seen + 1 >= ticks_.front().first && seen <= version_;
    std::string text;
    if (!known) {
        text = EventText(Snapshot(now));
    } else {
        for (const auto& [version, event] : ticks_) {
            if (version > seen) text += event;
        }
    }
    seen = version_;
    return text;
}

}  // namespace qmdc::cli::panel
