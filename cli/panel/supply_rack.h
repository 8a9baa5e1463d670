// The panel's supplies, one worker each, and the news that one of them has a
// new state, which the event streams of all pages wait for.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "panel/panel_backend.h"
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

    // Waits until the state is newer than seen (or the time is up, or the rack
    // stops); returns the newest version, 0 once stopping.
    unsigned long long WaitForChange(unsigned long long seen, std::chrono::milliseconds within);
    void Stop();

  private:
    void Changed();

    const WorkerSettings settings_;
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long long version_ = 1;
    bool stopping_ = false;
    std::vector<std::unique_ptr<SupplyWorker>> workers_;
};

}  // namespace qmdc::cli::panel
