#include "panel/supply_rack.h"

namespace qmdc::cli::panel {
namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::vector<nlohmann::json> States(const std::vector<std::unique_ptr<SupplyWorker>>& workers) {
    std::vector<nlohmann::json> states;
    for (const auto& worker : workers) states.push_back(worker->State());
    return states;
}

std::vector<std::unique_ptr<SupplyWorker>> Workers(
    const std::vector<ConnectionOptions>& connections, const WorkerSettings& settings) {
    std::vector<std::unique_ptr<SupplyWorker>> workers;
    for (const ConnectionOptions& connection : connections) {
        workers.push_back(std::make_unique<SupplyWorker>(connection, settings));
    }
    return workers;
}

FeedSettings ForFeed(const WorkerSettings& settings) {
    FeedSettings feed;
    feed.rateHz = settings.rateHz;
    feed.chartSeconds = settings.chartSeconds;
    feed.tickMs = settings.tickMs;
    return feed;
}

}  // namespace

SupplyRack::SupplyRack(const std::vector<ConnectionOptions>& connections, WorkerSettings settings)
    : settings_(settings),
      workers_(Workers(connections, settings)),
      feed_(States(workers_), ForFeed(settings)) {
    ticks_ = std::thread([this] { Ticks(); });
}

SupplyRack::~SupplyRack() {
    Stop();
    workers_.clear();  // each closes its session; the supplies stay as they are
}

nlohmann::json SupplyRack::State() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return feed_.Snapshot(Now());
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

// One message a tick however many supplies read in it, so a page's load
// grows with what changes, not with how often each supply is read.
void SupplyRack::Ticks() {
    const auto period = std::chrono::milliseconds(settings_.tickMs);
    auto next = std::chrono::steady_clock::now() + period;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!changed_.wait_until(lock, next, [this] { return stopping_; })) {
        next += period;
        lock.unlock();
        std::vector<SupplyDelta> deltas;
        for (const auto& worker : workers_) deltas.push_back(worker->TakeChanges());
        lock.lock();
        if (feed_.Add(deltas, Now())) changed_.notify_all();
    }
}

unsigned long long SupplyRack::WaitForChange(unsigned long long seen,
                                             std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, within, [&] { return stopping_ || feed_.version() != seen; });
    return stopping_ ? 0 : feed_.version();
}

std::string SupplyRack::EventsSince(unsigned long long& seen) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return feed_.EventsSince(seen, Now());
}

void SupplyRack::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (ticks_.joinable()) ticks_.join();
}

}  // namespace qmdc::cli::panel
