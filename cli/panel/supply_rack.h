// The panel's supplies, one worker each, and what their pages are sent: once
// a tick, the changes of all supplies in one message (RackFeed), which the
// event streams of all pages wait for.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "panel/panel_backend.h"
#include "panel/rack_feed.h"
#include "panel/supply_worker.h"

namespace qmdc::cli::panel {

class SupplyRack : public PanelBackend {
  public:
    SupplyRack(const std::vector<ConnectionOptions>& connections, WorkerSettings settings);
    ~SupplyRack() override;

    size_t SupplyCount() const override { return workers_.size(); }
    nlohmann::json State() const override;
    nlohmann::json History(size_t supply) const override;
    std::string Csv(size_t supply) const override;
    CommandOutcome Run(size_t supply, const PanelCommand& command) override;

    // Waits until there is a tick newer than seen (or the time is up, or the
    // rack stops); returns the newest version, 0 once stopping.
    unsigned long long WaitForChange(unsigned long long seen, std::chrono::milliseconds within);
    // The event-stream text for a page that has seen version seen (0: none
    // yet): the whole state first, then the ticks after it; seen becomes the
    // newest version.
    std::string EventsSince(unsigned long long& seen) const;
    void Stop();

  private:
    void Ticks();

    const WorkerSettings settings_;
    std::vector<std::unique_ptr<SupplyWorker>> workers_;
    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable changed_;
    bool stopping_ = false;
    RackFeed feed_;
    std::thread ticks_;
};

}  // namespace qmdc::cli::panel
