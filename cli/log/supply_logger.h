// One supply's part of qmdc log: a thread that reads it at every tick of a
// clock shared by all supplies, and the tally of what it read for the summary.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

#include "log/log_rows.h"
#include "supply_link.h"

namespace qmdc::cli {

// Tick k is due at start + k x interval, on the steady clock: a late reading
// never pushes the ticks after it, so the schedule does not drift.
struct LogClock {
    std::chrono::steady_clock::time_point start;
    WallTime wallStart;
    std::chrono::nanoseconds interval;
    long long ticks;  // how many ticks in all; the largest number for no end

    std::chrono::steady_clock::time_point DueAt(long long tick) const {
        return start + interval * tick;
    }
    WallTime WallAt(long long tick) const {
        return wallStart + std::chrono::duration_cast<WallTime::duration>(interval * tick);
    }
    static LogClock Starting(double intervalSeconds, double durationSeconds);
};

struct Statistic {
    long long count = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    void Add(double value);
    double mean() const { return count ? sum / double(count) : 0.0; }
};

// What the summary says of one supply.
struct SupplyTally {
    long long read = 0, missed = 0, lost = 0;
    Statistic volts, amps;
    double cvSeconds = 0.0, ccSeconds = 0.0;  // readings in the mode x the interval
    // An OV or OC state read where the reading before (the last with values)
    // had none: a supply tripped before the log began is no trip of the log.
    long long trips = 0;
    std::optional<bool> tripped;  // as last read; nothing before the first reading
    bool trippedAtStart = false;

    void Add(const LogRow& row, double intervalSeconds);
    std::string Text(const std::string& supply) const;
};

using RowSink = std::function<void(const LogRow&)>;
// The end of every supply's thread before the clock's last tick (Ctrl-C, a
// failed write). A thread sleeps until its next tick or this, not in short
// naps that look for it: a hundred supplies would wake thousands of times a
// second for nothing.
class LogStop {
  public:
    void Request();
    // Sleeps until the time; false when a stop comes first (or came before).
    bool WaitUntil(std::chrono::steady_clock::time_point due);

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool requested_ = false;
};

// Reads the supply at each tick until the clock's last tick or a stop; every
// tick gives one row to sink (read, missed or lost) and to the tally.
void RunSupplyLog(SupplyLink& link, const LogClock& clock, const RowSink& sink, LogStop& stop,
                  SupplyTally& tally);

}  // namespace qmdc::cli
