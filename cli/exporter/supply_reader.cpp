#include "exporter/supply_reader.h"

#include <iostream>

#include "failure.h"
#include "text_case.h"

namespace qmdc::cli::exporter {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

bool Mentions(const std::string& text, const std::string& word) {
    return Upper(text).find(Upper(word)) != std::string::npos;
}

}  // namespace

std::string ReadOnlyOptions(const std::string& userOptions) {
    if (Mentions(userOptions, "QueryInstrStatus")) {
        throw UsageError(
            "--options cannot name QueryInstrStatus: the exporter only reads, and the status "
            "check clears the instrument's status and error queue at init");
    }
    const std::string own = "QueryInstrStatus=0, Cache=0";
    return userOptions.empty() ? own : own + ", " + userOptions;
}

SupplyReader::SupplyReader(ConnectionOptions connection, double intervalSeconds)
    : interval_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(intervalSeconds))),
      link_(SupplyName(connection), connection) {
    snapshot_.supply = link_.name();
    snapshot_.counts = metrics::SupplyCounts{};
    thread_ = std::thread([this] { Loop(); });
}

SupplyReader::~SupplyReader() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

metrics::SupplySnapshot SupplyReader::Snapshot() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    metrics::SupplySnapshot snapshot = snapshot_;
    if (lastGood_) snapshot.lastGoodAgeSeconds = Seconds(Clock::now() - *lastGood_);
    return snapshot;
}

void SupplyReader::Loop() {
    auto next = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        ReadOnce();
        lock.lock();
        // On schedule; a slow supply is read as often as it can be, never in a burst.
        next += interval_;
        const auto now = Clock::now();
        if (next < now) next = now + interval_;
        wake_.wait_until(lock, next, [this] { return stopping_; });
    }
}

void SupplyReader::Connect() {
    const bool reconnect = everOpened_;
    const DriverSession& session = link_.Session();
    const std::string model = session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model");
    const std::string serial = session.SerialNumber();
    const Ratings ratings = QueryRatings(session);
    identity_.ratedVolts = ratings.volts;
    identity_.ratedAmps = ratings.amps;
    identity_.ratedWatts = ratings.watts;
    everOpened_ = true;
    const std::lock_guard<std::mutex> lock(mutex_);
    snapshot_.model = model;
    snapshot_.serial = serial;
    if (reconnect) snapshot_.counts->reconnects += 1;
}

metrics::SupplyReadings SupplyReader::Read() {
    if (!link_.open()) Connect();
    const SupplySample sample = link_.Sample();
    const DriverSession& session = link_.Session();
    metrics::SupplyReadings r = identity_;
    r.volts = sample.reading.volts;
    r.amps = sample.reading.amps;
    r.watts = sample.reading.watts();
    r.mode = sample.mode();
    r.protection = sample.protection();
    r.voltageLevel = session.Real(QMDC_ATTR_VOLTAGE_LEVEL, "voltage level");
    r.currentLevel = session.Real(QMDC_ATTR_CURRENT_LEVEL, "current level");
    r.ovpLevel = session.Real(QMDC_ATTR_OVP_LIMIT, "OVP level");
    r.ocpLevel = session.Real(QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL, "OCP level");
    r.outputEnabled = session.Boolean(QMDC_ATTR_OUTPUT_ENABLED, "output");
    return r;
}

void SupplyReader::ReadOnce() {
    const auto start = Clock::now();
    std::optional<metrics::SupplyReadings> readings;
    std::string problem;
    try {
        readings = Read();
    } catch (const Failure& failure) {
        link_.Drop();  // opened again at the next interval
        problem = failure.what();
    }
    const auto end = Clock::now();
    const std::lock_guard<std::mutex> lock(mutex_);
    // The log (stderr, the journal under systemd) hears of each change only.
    const bool first = snapshot_.counts->readings == 0;
    if (readings && !snapshot_.up && !first) {
        std::cerr << "qmdc: " + link_.name() + " answers again\n" << std::flush;
    } else if (!readings && (snapshot_.up || first)) {
        std::cerr << "qmdc: " + link_.name() + " cannot be read: " + problem + "\n" << std::flush;
    }
    snapshot_.counts->readings += 1;
    if (!readings) snapshot_.counts->failures += 1;
    snapshot_.up = readings.has_value();
    snapshot_.readings = readings;
    snapshot_.readingSeconds = Seconds(end - start);
    if (readings) lastGood_ = end;
}

}  // namespace qmdc::cli::exporter
