// qmdc log: one or more supplies read at a fixed interval for as long as it
// takes, into CSV or JSON Lines, with a status line, a summary and a plot.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "failure.h"
#include "interrupt.h"
#include "log/duration_text.h"
#include "log/log_plot.h"
#include "log/status_line.h"
#include "log/supply_logger.h"
#include "option_checks.h"
#include "standard_output.h"
#include "subcommands.h"
#include "supply_arguments.h"

namespace qmdc::cli {
namespace {

struct LogCommand {
    SupplyArguments supplies;
    double interval = 1.0;
    std::string duration;
    CLI::Option* durationOption = nullptr;  // given at all, even as ""
    std::string output;
    std::string formatName = "csv";
    std::string plot;
    explicit LogCommand(CLI::App& command) : supplies(command, StatusCheck::AsConfigured) {}
};

const std::map<std::string, LogFormat> kFormatNames = {{"csv", LogFormat::Csv},
                                                       {"jsonl", LogFormat::JsonLines}};

// How often Ctrl-C and failed writes are looked for, and the status line redrawn.
constexpr auto kStopPoll = std::chrono::milliseconds(50);
constexpr long long kStatusRefreshNaps = 5;

// A log that ran to its end but has holes: a script can tell it from a whole one.
constexpr int kRowsLost = 3;

// Where the rows go, one at a time from every supply's thread; it counts
// them by supply and status for the status line.
class RowCollector {
  public:
    RowCollector(std::ostream& out, LogFormat format, LogPlot* plot,
                 const std::vector<std::string>& supplies)
        : out_(out), writer_(Checked(out), format), plot_(plot) {
        Note();
        for (const std::string& name : supplies) Index(name);
    }
    void Take(const LogRow& row) {
        const std::lock_guard<std::mutex> lock(mutex_);
        errno = 0;  // so that the reason kept is this write's
        writer_.Write(row);
        Note();
        if (plot_) plot_->Add(row);
        const size_t i = Index(row.supply);
        SupplyCounts& counts = counts_[i];
        ++(row.status == RowStatus::Ok       ? counts.ok
           : row.status == RowStatus::Missed ? counts.missed
                                             : counts.lost);
        last_[i] = row;
    }
    // A write failed (full disk, closed pipe): logging on is logging into nothing.
    bool failed() const { return failed_; }
    // Flushes the rows; throws the first failed write's Failure, with its reason.
    void Finish(const std::string& name) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failed_) errno = error_;  // the writing thread's errno is not this one's
        FlushChecked(out_, name);
    }
    std::string Status(double elapsedSeconds, size_t columns) {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < counts_.size(); ++i) counts_[i].now = Now(last_[i]);
        return StatusLine(counts_, elapsedSeconds, columns);
    }

  private:
    static std::ostream& Checked(std::ostream& out) {
        errno = 0;
        return out;
    }
    static std::string Now(const std::optional<LogRow>& row) {
        if (!row) return "not read yet";
        if (!row->sample) return StatusText(row->status);
        char text[96];
        const bool tripped = row->sample->state.tripped;
        std::snprintf(text, sizeof text, "%.4f V %.4f A %s%s%s", row->sample->reading.volts,
                      row->sample->reading.amps, row->sample->mode(), tripped ? " " : "",
                      tripped ? row->sample->protection() : "");
        return text;
    }
    size_t Index(const std::string& name) {
        const auto [at, added] = index_.emplace(name, counts_.size());
        if (added) {
            counts_.emplace_back();
            counts_.back().name = name;
            last_.emplace_back();
        }
        return at->second;
    }
    void Note() {
        if (out_ || failed_) return;
        error_ = errno;
        failed_ = true;
    }

    std::mutex mutex_;
    std::ostream& out_;
    LogWriter writer_;
    std::atomic<bool> failed_{false};
    int error_ = 0;
    LogPlot* plot_;
    std::map<std::string, size_t> index_;  // supply name -> counts_, last_
    std::vector<SupplyCounts> counts_;
    std::vector<std::optional<LogRow>> last_;
};

// "2026-12-08 06:29 UTC"
std::string Started(WallTime time) {
    const std::string iso = IsoTime(time);
    return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

int RunLog(const LogCommand& command) {
    const std::vector<ConnectionOptions> connections = command.supplies.Connections();
    if (connections.empty()) throw UsageError("RESOURCE is required (or --simulate)");
    double duration = 0.0;
    if (command.durationOption->count() > 0) {
        const std::optional<double> seconds = ParseDuration(command.duration);
        if (!seconds) {
            throw UsageError("--duration takes a length of time such as 90, 30s, 15m or 2h: " +
                             command.duration);
        }
        duration = *seconds;
    }
    std::vector<std::string> names;
    for (const ConnectionOptions& connection : connections) names.push_back(SupplyName(connection));
    std::optional<LogPlot> plot;
    if (!command.plot.empty()) plot.emplace(command.plot, names);
    std::ofstream file;
    if (!command.output.empty()) {
        file.open(command.output);
        if (!file) throw Failure("cannot write " + command.output + ": " + std::strerror(errno));
    }
    std::ostream& out = file.is_open() ? file : std::cout;

    // Every supply is opened before the first tick: a name that does not
    // work is a mistake to say at once, not a row of the log.
    std::vector<std::unique_ptr<SupplyLink>> links;
    for (const ConnectionOptions& connection : connections) {
        links.push_back(std::make_unique<SupplyLink>(SupplyName(connection), connection));
        links.back()->Session();
    }

    const InterruptScope interrupts;
    RowCollector rows(out, Lookup(kFormatNames, command.formatName), plot ? &*plot : nullptr,
                      names);
    const LogClock clock = LogClock::Starting(command.interval, duration);
    std::vector<SupplyTally> tallies(links.size());
    LogStop stop;
    std::atomic<size_t> running{links.size()};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < links.size(); ++i) {
        threads.emplace_back([&, i] {
            RunSupplyLog(
                *links[i], clock, [&](const LogRow& row) { rows.Take(row); }, stop, tallies[i]);
            --running;
        });
    }
    const bool statusLine = isatty(STDERR_FILENO) && (file.is_open() || !isatty(STDOUT_FILENO));
    // This thread alone looks for Ctrl-C and a failed write, and stops the others.
    for (long long nap = 1; running > 0; ++nap) {
        std::this_thread::sleep_for(kStopPoll);
        if (InterruptScope::Requested() || rows.failed()) stop.Request();
        if (statusLine && nap % kStatusRefreshNaps == 0) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - clock.start)
                    .count();
            std::cerr << "\r\033[K" << rows.Status(elapsed, TerminalColumns(STDERR_FILENO))
                      << std::flush;
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (statusLine) std::cerr << "\r\033[K";
    long long lost = 0;
    for (size_t i = 0; i < links.size(); ++i) {
        std::cerr << tallies[i].Text(links[i]->name()) << std::endl;
        lost += tallies[i].lost;
    }
    rows.Finish(command.output.empty() ? kStandardOutputName : command.output);
    if (plot) {
        plot->Write("qmdc log: " + std::to_string(links.size()) +
                    (links.size() == 1 ? " supply" : " supplies") + " from " +
                    Started(clock.wallStart));
    }
    // Without --duration Ctrl-C is the way to end the log.
    if (InterruptScope::Requested() && duration > 0.0) return kInterrupted;
    if (lost > 0) {
        std::cerr << "qmdc: " << lost << (lost == 1 ? " row" : " rows")
                  << " lost: a supply did not answer (see the note of each lost row)" << std::endl;
        return kRowsLost;
    }
    return kSuccess;
}

}  // namespace

Runner DefineLog(CLI::App& command) {
    auto log = std::make_shared<LogCommand>(command);
    command
        .add_option("--interval", log->interval,
                    "seconds from one reading to the next (0.001 to 86400)")
        ->type_name("SECONDS")
        ->required()
        ->check(NumberBetween(0.001, 86400.0));
    log->durationOption = command.add_option(
        "--duration", log->duration,
        "how long to log: 90 (seconds), 30s, 15m, 2h, 1d (default: until Ctrl-C)");
    command.add_option("--output", log->output, "write the rows to FILE (default: stdout)");
    command.add_option("--format", log->formatName, "csv (default) or jsonl (JSON Lines)")
        ->type_name("FORMAT")
        ->check(OneOf(kFormatNames));
    command.add_option("--plot", log->plot,
                       "plot voltage and current against time into FILE.svg or FILE.png "
                       "(needs gnuplot)");
    command.footer(
        "Columns: time (ISO 8601, UTC, milliseconds), supply, status, voltage_V, current_A, "
        "power_W, mode (CV, CC, UR: unregulated, off) and protection (none, OV, OC: tripped), "
        "note. status is ok, missed (the reading before was still running when this one was "
        "due) or lost (the supply could not be read; it is tried again at the next interval, "
        "the note says why).\n"
        "Every supply must answer at the start (exit status 1 otherwise). All supplies are read "
        "in parallel, each on its own session, on one clock: reading k is due k intervals after "
        "the start. Each row is flushed as it is written. A status "
        "line is drawn on stderr when it is a terminal (one line: the time, the rows ok, missed "
        "and lost, the worst supply); at the end (or Ctrl-C) a summary per supply goes to "
        "stderr. A trip is an OV or OC state read after one without; a supply tripped when the "
        "log begins is said so, not counted. --plot draws voltage above current, one colour per "
        "supply, a legend up to 8 supplies; past 2048 readings a supply's line keeps the least "
        "and greatest of each stretch of readings, so memory stays the same over days.\n"
        "Exit status: 0 at the end, or on Ctrl-C without --duration; 3 likewise but rows were "
        "lost; 130 on Ctrl-C before the end of --duration; 1 when a supply fails at the start, "
        "a write fails or the plot cannot be drawn; 2 for a usage error.\n"
        "Example: qmdc log PSU1 PSU2 --interval 0.5 --duration 2h --output bench.csv "
        "--plot bench.svg");
    return [log] { return RunLog(*log); };
}

}  // namespace qmdc::cli
