// The rows of qmdc log: one per supply and interval, written as CSV or JSON
// Lines and flushed one by one, so that a crash loses at most the row being
// written.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "supply_link.h"

namespace qmdc::cli {

using WallTime = std::chrono::system_clock::time_point;

enum class RowStatus {
    Ok,      // read at its time
    Missed,  // its time went by while the reading before it was still running
    Lost,    // the supply could not be read (or opened again); retried next time
};

struct LogRow {
    WallTime time;  // when the reading started; a missed row: when it was due
    std::string supply;
    RowStatus status = RowStatus::Ok;
    std::optional<SupplySample> sample;  // with Ok only
    std::string note;                    // why a supply is lost
};

enum class LogFormat { Csv, JsonLines };

// "2026-12-08T06:29:10.123Z"
std::string IsoTime(WallTime time);
const char* StatusText(RowStatus status);

class LogWriter {
  public:
    LogWriter(std::ostream& out, LogFormat format);
    void Write(const LogRow& row);

  private:
    std::ostream& out_;
    LogFormat format_;
};

}  // namespace qmdc::cli
