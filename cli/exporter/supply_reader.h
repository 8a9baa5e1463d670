// One supply of the exporter: a thread that owns its driver session and reads
// the supply at the interval, keeping the latest result for the scrapes,
// which never wait on the instrument. It only reads: the session is opened
// without a reset and without the status check (which would clear the
// instrument's status at init), and every query it sends leaves the supply
// as it was (condition registers, never the event registers that reading
// clears). A supply that fails is opened again at the next interval.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "metrics/supply_metrics.h"
#include "supply_link.h"

namespace qmdc::cli::exporter {

class SupplyReader {
  public:
    SupplyReader(ConnectionOptions connection, double intervalSeconds);
    ~SupplyReader();
    SupplyReader(const SupplyReader&) = delete;
    SupplyReader& operator=(const SupplyReader&) = delete;

    // The latest result, with the age of the last good reading as of now.
    metrics::SupplySnapshot Snapshot() const;

  private:
    void Loop();
    void ReadOnce();
    // Opens the session and reads who the supply is; throws a Failure.
    void Connect();
    metrics::SupplyReadings Read();

    const std::chrono::steady_clock::duration interval_;
    SupplyLink link_;  // the reader's thread only
    bool everOpened_ = false;
    metrics::SupplyReadings identity_;  // the ratings, read when connected

    mutable std::mutex mutex_;  // guards what follows
    std::condition_variable wake_;
    bool stopping_ = false;
    metrics::SupplySnapshot snapshot_;
    std::optional<std::chrono::steady_clock::time_point> lastGood_;
    std::thread thread_;
};

// The option string the exporter opens each session with: the cache off (a
// level changed at the front panel or by another program is read as it is),
// the status check off, then the user's own options. Throws UsageError when
// those turn the status check on.
std::string ReadOnlyOptions(const std::string& userOptions);

}  // namespace qmdc::cli::exporter
