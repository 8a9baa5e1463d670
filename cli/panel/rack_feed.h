// What the pages are sent about the rack: the state of every supply as the
// pages know it, and the changes of each tick. A page that connects gets the
// whole state once, then one message per tick with only what changed since
// the tick before (levels, mode, output, ... and the readings taken), for all
// supplies together; a page that falls behind the kept ticks starts over.
#pragma once

#include <nlohmann/json.hpp>

#include <deque>
#include <string>
#include <vector>

namespace qmdc::cli::panel {

struct ChartPoint {
    double time = 0.0;  // epoch seconds
    double volts = 0.0;
    double amps = 0.0;
};

// One supply's changes since the last tick: each field that changed with its
// new value (null: no longer known), and the readings taken, oldest first.
struct SupplyDelta {
    nlohmann::json fields = nlohmann::json::object();
    std::vector<ChartPoint> points;
    bool empty() const { return fields.empty() && points.empty(); }
};

struct FeedSettings {
    double rateHz = 4.0;
    double chartSeconds = 600.0;
    int tickMs = 200;
    size_t pointsKept = 120;  // per supply in the state, for the rack view's trend
    size_t ticksKept = 64;    // a page further behind gets the whole state again
};

class RackFeed {
  public:
    // states: each supply's fields at the start.
    RackFeed(std::vector<nlohmann::json> states, FeedSettings settings);

    // Takes one tick's changes (one entry per supply); false when there were
    // none, and then no message is made.
    bool Add(const std::vector<SupplyDelta>& deltas, double now);
    unsigned long long version() const { return version_; }

    // {"full": true, "v", "now", "rate_hz", "chart_seconds", "tick_ms",
    //  "supplies": [{fields..., "index", "p": [[ms before now, volts, amps], ...]}, ...]};
    // a tick is {"v", "now", "s": {"INDEX": {changed fields..., "p": [...]}, ...}}.
    nlohmann::json Snapshot(double now) const;
    // The event-stream text for a page that has seen version seen (0: none):
    // the ticks after it, else the whole state; seen becomes the newest.
    std::string EventsSince(unsigned long long& seen, double now) const;

  private:
    struct Supply {
        nlohmann::json fields;
        std::deque<ChartPoint> points;
    };

    const FeedSettings settings_;
    std::vector<Supply> supplies_;
    unsigned long long version_ = 1;
    std::deque<std::pair<unsigned long long, std::string>> ticks_;  // version, event text
};

// A reading kept to six significant digits (what the page shows and more),
// so that its JSON stays short.
double Significant(double value);

}  // namespace qmdc::cli::panel
