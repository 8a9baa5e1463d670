#include "panel/supply_rack.h"

namespace qmdc::cli::panel {

SupplyRack::SupplyRack(const std::vector<ConnectionOptions>& connections, WorkerSettings settings)
    : settings_(settings) {
    for (const ConnectionOptions& connection : connections) {
        workers_.push_back(
            std::make_unique<SupplyWorker>(connection, settings, [this] { Changed(); }));
    }
}

SupplyRack::~SupplyRack() {
    Stop();
    workers_.clear();  // each closes its session; the supplies stay as they are
}

nlohmann::json SupplyRack::State() const {
    nlohmann::json supplies = nlohmann::json::array();
    for (size_t i = 0; i < workers_.size(); ++i) {
        supplies.push_back(workers_[i]->State());
        supplies.back()["index"] = i;
    }
    return {{"rate_hz", settings_.rateHz},
            {"chart_seconds", settings_.chartSeconds},
            {"supplies", supplies}};
}

nlohmann::json SupplyRack::History(size_t supply) const {
    return workers_.at(supply)->History();
}

std::string SupplyRack::Csv(size_t supply) const {
    return workers_.at(supply)->Csv();
}

CommandOutcome SupplyRack::Run(size_t supply, const PanelCommand& command) {
    return workers_.at(supply)->Run(command);
}

void SupplyRack::Changed() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++version_;
    }
    changed_.notify_all();
}

unsigned long long SupplyRack::WaitForChange(unsigned long long seen,
                                             std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, within, [&] { return stopping_ || version_ != seen; });
    return stopping_ ? 0 : version_;
}

void SupplyRack::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

}  // namespace qmdc::cli::panel
