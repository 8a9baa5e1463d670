#include "log/supply_logger.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "failure.h"
#include "number_text.h"

namespace qmdc::cli {
namespace {

std::string Range(const Statistic& s, const char* unit) {
    if (s.count == 0) return std::string("- ") + unit;
    return FixedText(s.min, 4) + " / " + FixedText(s.mean(), 4) + " / " + FixedText(s.max, 4) +
           " " + unit;
}

}  // namespace

LogClock LogClock::Starting(double intervalSeconds, double durationSeconds) {
    LogClock clock;
    clock.start = std::chrono::steady_clock::now();
    clock.wallStart = std::chrono::system_clock::now();
    clock.interval = std::chrono::nanoseconds(std::llround(intervalSeconds * 1e9));
    clock.ticks =
        durationSeconds > 0.0
            ? std::max(1LL,
                       static_cast<long long>(std::ceil(durationSeconds / intervalSeconds - 1e-9)))
            : std::numeric_limits<long long>::max();
    return clock;
}

void LogStop::Request() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        requested_ = true;
    }
    woken_.notify_all();
}

bool LogStop::WaitUntil(std::chrono::steady_clock::time_point due) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !woken_.wait_until(lock, due, [this] { return requested_; });
}

void Statistic::Add(double value) {
    ++count;
    min = std::min(min, value);
    max = std::max(max, value);
    sum += value;
}

void SupplyTally::Add(const LogRow& row, double intervalSeconds) {
    if (row.status == RowStatus::Missed) ++missed;
    if (row.status == RowStatus::Lost) ++lost;
    if (!row.sample) return;
    ++read;
    volts.Add(row.sample->reading.volts);
    amps.Add(row.sample->reading.amps);
    const std::string mode = row.sample->mode();
    if (mode == "CV") cvSeconds += intervalSeconds;
    if (mode == "CC") ccSeconds += intervalSeconds;
    const bool now = row.sample->state.tripped;
    if (!tripped.has_value()) trippedAtStart = now;
    if (now && tripped == false) ++trips;
    tripped = now;
}

std::string SupplyTally::Text(const std::string& supply) const {
    return supply + ": " + std::to_string(read) + " readings, " + std::to_string(missed) +
           " missed, " + std::to_string(lost) + " lost\n  voltage min / mean / max " +
           Range(volts, "V") + "\n  current min / mean / max " + Range(amps, "A") + "\n  CV " +
           FixedText(cvSeconds, 1) + " s, CC " + FixedText(ccSeconds, 1) + " s, " +
           std::to_string(trips) + (trips == 1 ? " trip" : " trips") +
           (trippedAtStart ? " (tripped when the log began)" : "");
}

void RunSupplyLog(SupplyLink& link, const LogClock& clock, const RowSink& sink, LogStop& stop,
                  SupplyTally& tally) {
    const double seconds = std::chrono::duration<double>(clock.interval).count();
    auto emit = [&](LogRow row) {
        row.supply = link.name();
        tally.Add(row, seconds);
        sink(row);
    };
    for (long long tick = 0; tick < clock.ticks;) {
        // A tick is missed when the next one is due before this one could start.
        while (tick + 1 < clock.ticks &&
               std::chrono::steady_clock::now() >= clock.DueAt(tick + 1)) {
            LogRow missed;
            missed.time = clock.WallAt(tick++);
            missed.status = RowStatus::Missed;
            emit(missed);
        }
        if (!stop.WaitUntil(clock.DueAt(tick))) return;
        LogRow row;
        row.time = std::chrono::system_clock::now();
        try {
            row.sample = link.Sample();
        } catch (const Failure& failure) {
            row.status = RowStatus::Lost;
            row.note = failure.what();
        }
        emit(row);
        ++tick;
    }
}

}  // namespace qmdc::cli
