// What the panel's web side asks of the supplies: their state, their log and
// the changes a user makes. The supplies (SupplyWorker) answer it; a test or
// fuzz target can answer it alone.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace qmdc::cli::panel {

enum class CommandKind {
    VoltageLevel,
    CurrentLevel,
    OvpLevel,
    OcpLevel,
    Output,
    ResetProtection,
    ReadErrors
};

struct PanelCommand {
    CommandKind kind;
    double value = 0.0;  // the level, or 1/0 for the output
};

struct CommandOutcome {
    bool done = false;
    std::string message;  // the driver's or instrument's when not done
};

class PanelBackend {
  public:
    virtual ~PanelBackend() = default;
    virtual size_t SupplyCount() const = 0;
    // {"rate_hz": ..., "supplies": [...]}: what a page is sent first (RackFeed::Snapshot)
    virtual nlohmann::json State() const = 0;
    // [[epoch seconds, volts, amps], ...] of the chart's window
    virtual nlohmann::json History(size_t supply) const = 0;
    // Everything read since the panel started, as CSV.
    virtual std::string Csv(size_t supply) const = 0;
    // Runs the change on the supply's session; waits for it.
    virtual CommandOutcome Run(size_t supply, const PanelCommand& command) = 0;
};

}  // namespace qmdc::cli::panel
