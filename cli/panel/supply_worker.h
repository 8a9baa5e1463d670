// One supply of the panel: a thread that owns its driver session and does
// everything on it in turn (the readings at the panel's rate and the changes
// users ask for), so that commands of two browsers never interleave. It keeps
// the state every page is shown, what changed in it since the rack last took
// the changes, the chart's window and the log for CSV.
#pragma once

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "log/log_rows.h"
#include "panel/panel_backend.h"
#include "panel/rack_feed.h"
#include "supply_link.h"

namespace qmdc::cli::panel {

struct WorkerSettings {
    double rateHz = 4.0;
    double chartSeconds = 600.0;
    size_t logRows = 200000;  // the oldest rows go beyond this
    int tickMs = 200;         // the pages are sent the changes this often
};

// Why a level is refused before it is sent ("" when it is not): below zero or
// beyond the supply's rating (protections: a tenth beyond).
std::string LevelProblem(const PanelCommand& command, double maxVolts, double maxAmps);

class SupplyWorker {
  public:
    SupplyWorker(ConnectionOptions connection, WorkerSettings settings);
    ~SupplyWorker();
    SupplyWorker(const SupplyWorker&) = delete;
    SupplyWorker& operator=(const SupplyWorker&) = delete;

    nlohmann::json State() const;
    // What changed since the last call: fields and readings.
    SupplyDelta TakeChanges();
    nlohmann::json History() const;
    std::string Csv() const;
    CommandOutcome Run(const PanelCommand& command);

  private:
    struct Pending {
        PanelCommand command;
        std::promise<CommandOutcome> outcome;
    };
    void Loop();
    void Poll();
    CommandOutcome Execute(const PanelCommand& command);
    void Connect();
    // Sets the fields that differ and notes them as changed.
    void Publish(const nlohmann::json& fields, const LogRow* row = nullptr);
    void NoteError(const std::string& message);

    const WorkerSettings settings_;
    SupplyLink link_;  // the worker's thread only
    std::chrono::steady_clock::time_point retryAt_{};
    double maxVolts_ = 0.0, maxAmps_ = 0.0;  // the ratings, read when connected

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable wake_;
    std::deque<Pending> pending_;
    bool stopping_ = false;
    nlohmann::json state_;
    SupplyDelta changes_;
    std::deque<LogRow> log_;
    std::thread thread_;
};

}  // namespace qmdc::cli::panel
