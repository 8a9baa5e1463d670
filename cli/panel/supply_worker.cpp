#include "panel/supply_worker.h"

#include <cstdio>
#include <sstream>

#include "failure.h"

namespace qmdc::cli::panel {
namespace {

// A lost supply is tried again this often.
constexpr auto kRetry = std::chrono::seconds(1);
// A change waits this long for its turn and its answer.
constexpr auto kCommandDeadline = std::chrono::seconds(30);
constexpr size_t kErrorsKept = 20;
constexpr const char* kNothingTripped =
    "no protection is tripped: nothing was sent, the output stays as it is";

// The instrument's status is asked after each change typed in the page, so a
// refusal shows the instrument's own message; never after a reading: a
// reading does not change the instrument, and an error someone else left
// there must not make a healthy supply look lost. The attribute is the
// driver's own flag: setting it sends nothing.
class StatusCheckedChanges {
  public:
    explicit StatusCheckedChanges(const DriverSession& session) : session_(session) {
        Set(session_, VI_TRUE);
    }
    ~StatusCheckedChanges() {
        QmDC_SetAttributeViBoolean(session_.vi(), "", QMDC_ATTR_QUERY_INSTRUMENT_STATUS, VI_FALSE);
    }
    StatusCheckedChanges(const StatusCheckedChanges&) = delete;
    StatusCheckedChanges& operator=(const StatusCheckedChanges&) = delete;

    static void Set(const DriverSession& session, ViBoolean on) {
        session.Check(
            QmDC_SetAttributeViBoolean(session.vi(), "", QMDC_ATTR_QUERY_INSTRUMENT_STATUS, on),
            "status checking");
    }

  private:
    const DriverSession& session_;
};

double EpochSeconds(WallTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// One change through the driver: it checks the value (range and type) before
// anything goes to the instrument, and with the status check on, the
// instrument's own refusal fails the call with its error queue.
void Send(const DriverSession& session, const PanelCommand& command) {
    const ViSession vi = session.vi();
    switch (command.kind) {
        case CommandKind::VoltageLevel:
            session.Check(QmDC_ConfigureVoltageLevel(vi, "", command.value), "voltage level");
            break;
        case CommandKind::CurrentLevel:
            session.Check(QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, command.value),
                          "current level");
            break;
        case CommandKind::OvpLevel:
            session.Check(QmDC_ConfigureOVP(vi, "", VI_TRUE, command.value), "OVP level");
            break;
        case CommandKind::OcpLevel:
            session.Check(QmDC_ConfigureCurrentLimit(vi, "", QMDC_VAL_CURRENT_TRIP, command.value),
                          "OCP level");
            break;
        case CommandKind::Output:
            session.Check(
                QmDC_ConfigureOutputEnabled(vi, "", command.value != 0.0 ? VI_TRUE : VI_FALSE),
                "output");
            break;
        case CommandKind::ResetProtection:
            session.Check(QmDC_ResetOutputProtection(vi, ""), "reset protection");
            break;
        case CommandKind::ReadErrors:
            break;
    }
}

struct LevelRange {
    CommandKind kind;
    const char* unit;
    bool volts;       // of the voltage rating, else of the current rating
    double overRate;  // how far beyond the rating the level may go
};
// The supply's protections may be set a tenth beyond its rating.
constexpr LevelRange kLevelRanges[] = {
    {CommandKind::VoltageLevel, "V", true, 1.0},
    {CommandKind::CurrentLevel, "A", false, 1.0},
    {CommandKind::OvpLevel, "V", true, 1.1},
    {CommandKind::OcpLevel, "A", false, 1.1},
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

std::string LevelProblem(const PanelCommand& command, double maxVolts, double maxAmps) {
    for (const LevelRange& range : kLevelRanges) {
        if (range.kind != command.kind) continue;
        const double top = (range.volts ? maxVolts : maxAmps) * range.overRate;
        if (command.value >= 0.0 && command.value <= top) return "";
        return Number(command.value) + " " + range.unit + " is outside the supply's range 0 .. " +
               Number(top) + " " + range.unit + "; nothing was sent";
    }
    return "";
}

// What is not known while a supply does not answer: shown as unknown, never
// as the last values read.
const char* const kLiveFields[] = {"mode", "protection", "state_text", "levels", "output"};

SupplyWorker::SupplyWorker(ConnectionOptions connection, WorkerSettings settings)
    : settings_(settings), link_(SupplyName(connection), connection) {
    state_ = {{"name", link_.name()},
              {"resource", link_.connection().resource},
              {"connected", false},
              {"problem", "connecting"},
              {"errors", nlohmann::json::array()}};
    for (const char* field : kLiveFields) state_[field] = nullptr;
    thread_ = std::thread([this] { Loop(); });
}

SupplyWorker::~SupplyWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    for (Pending& pending : pending_) {
        pending.outcome.set_value({false, "the panel is stopping"});
    }
}

nlohmann::json SupplyWorker::State() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

SupplyDelta SupplyWorker::TakeChanges() {
    const std::lock_guard<std::mutex> lock(mutex_);
    SupplyDelta changes = std::move(changes_);
    changes_ = {};
    return changes;
}

nlohmann::json SupplyWorker::History() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json points = nlohmann::json::array();
    if (log_.empty()) return points;
    const double from = EpochSeconds(log_.back().time) - settings_.chartSeconds;
    for (const LogRow& row : log_) {
        const double at = EpochSeconds(row.time);
        if (at < from || !row.sample) continue;
        points.push_back({at, row.sample->reading.volts, row.sample->reading.amps});
    }
    return points;
}

std::string SupplyWorker::Csv() const {
    std::ostringstream text;
    LogWriter writer(text, LogFormat::Csv);
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const LogRow& row : log_) writer.Write(row);
    return text.str();
}

CommandOutcome SupplyWorker::Run(const PanelCommand& command) {
    std::future<CommandOutcome> outcome;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return {false, "the panel is stopping"};
        pending_.push_back({command, {}});
        outcome = pending_.back().outcome.get_future();
    }
    wake_.notify_all();
    if (outcome.wait_for(kCommandDeadline) != std::future_status::ready) {
        return {false, "the supply did not answer in time"};
    }
    return outcome.get();
}

void SupplyWorker::Loop() {
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / settings_.rateHz));
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_until(lock, next, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_) break;
        if (!pending_.empty()) {
            Pending pending = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            const CommandOutcome outcome = Execute(pending.command);
            pending.outcome.set_value(outcome);
            Poll();  // every page sees the change at once
            lock.lock();
            continue;
        }
        lock.unlock();
        Poll();
        lock.lock();
        // On schedule; a slow supply is read as often as it can be, never in a burst.
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next < now) next = now + period;
    }
}

void SupplyWorker::Connect() {
    const DriverSession& session = link_.Session();
    StatusCheckedChanges::Set(session, VI_FALSE);
    ViReal64 volts = 0.0, amps = 0.0;
    session.Check(QmDC_QueryMaxVoltageLevel(session.vi(), "", 0.0, &volts), "voltage rating");
    session.Check(QmDC_QueryMaxCurrentLimit(session.vi(), "", 0.0, &amps), "current rating");
    nlohmann::json identity = {
        {"manufacturer", session.Text(QMDC_ATTR_INSTRUMENT_MANUFACTURER, "manufacturer")},
        {"model", session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model")},
        {"serial", session.SerialNumber()},
        {"firmware", session.Text(QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION, "firmware")},
        {"resource", link_.connection().resource},
        {"simulated", session.simulated()},
        {"max_volts", volts},
        {"max_amps", amps}};
    maxVolts_ = volts;
    maxAmps_ = amps;
    Publish({{"identity", identity}});
}

void SupplyWorker::Poll() {
    const auto now = std::chrono::steady_clock::now();
    if (!link_.open() && now < retryAt_) return;
    LogRow row;
    row.time = std::chrono::system_clock::now();
    row.supply = link_.name();
    nlohmann::json levels;
    bool outputOn = false;
    try {
        if (!link_.open()) Connect();
        row.sample = link_.Sample();
        const DriverSession& session = link_.Session();
        levels = {{"voltage", session.Real(QMDC_ATTR_VOLTAGE_LEVEL, "voltage level")},
                  {"current", session.Real(QMDC_ATTR_CURRENT_LEVEL, "current level")},
                  {"ovp", session.Real(QMDC_ATTR_OVP_LIMIT, "OVP level")},
                  {"ocp", session.Real(QMDC_ATTR_CURRENT_LIMIT, "OCP level")}};
        outputOn = session.Boolean(QMDC_ATTR_OUTPUT_ENABLED, "output");
    } catch (const Failure& failure) {
        link_.Drop();
        retryAt_ = now + kRetry;
        row.sample.reset();
        row.status = RowStatus::Lost;
        row.note = failure.what();
    }
    nlohmann::json fields = {{"connected", row.sample.has_value()}, {"problem", row.note}};
    if (row.sample) {
        const SupplySample& sample = *row.sample;
        fields.update({{"mode", sample.mode()},
                       {"protection", sample.protection()},
                       {"state_text", sample.state.text},
                       {"levels", levels},
                       {"output", outputOn}});
    } else {
        for (const char* field : kLiveFields) fields[field] = nullptr;
    }
    Publish(fields, &row);
}

CommandOutcome SupplyWorker::Execute(const PanelCommand& command) {
    if (!link_.open())
        return {false, "the supply is lost: " + State()["problem"].get<std::string>()};
    const std::string problem = LevelProblem(command, maxVolts_, maxAmps_);
    if (!problem.empty()) {
        NoteError(problem);
        return {false, problem};
    }
    try {
        const DriverSession& session = link_.Session();
        // The driver re-arms a protection by switching the output on: asked
        // of a supply that has not tripped, it would switch on an output
        // someone switched off.
        if (command.kind == CommandKind::ResetProtection && !QueryOutputState(session).tripped) {
            return {false, kNothingTripped};
        }
        {
            const StatusCheckedChanges checked(session);
            Send(session, command);
        }
        if (command.kind == CommandKind::ReadErrors) {
            const std::vector<std::string> errors = session.TakeErrorQueue();
            if (errors.empty()) NoteError("the error queue is empty");
            for (const std::string& error : errors) NoteError(error);
        }
        return {true, ""};
    } catch (const Failure& failure) {
        NoteError(failure.what());
        return {false, failure.what()};
    }
}

void SupplyWorker::NoteError(const std::string& message) {
    nlohmann::json errors = State()["errors"];  // only this thread changes them
    errors.push_back(message);
    if (errors.size() > kErrorsKept) errors.erase(errors.begin());
    Publish({{"errors", errors}});
}

void SupplyWorker::Publish(const nlohmann::json& fields, const LogRow* row) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, value] : fields.items()) {
        nlohmann::json& now = state_[name];
        if (now == value) continue;
        now = value;
        changes_.fields[name] = value;
    }
    if (row == nullptr) return;
    log_.push_back(*row);
    if (log_.size() > settings_.logRows) log_.pop_front();
    if (row->sample) {
        const Reading& reading = row->sample->reading;
        changes_.points.push_back({EpochSeconds(row->time), reading.volts, reading.amps});
    }
}

}  // namespace qmdc::cli::panel
