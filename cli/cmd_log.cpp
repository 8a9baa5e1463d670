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
    std::string output;
    std::string formatName = "csv";
    std::string plot;
    explicit LogCommand(CLI::App& command) : supplies(command, StatusCheck::AsConfigured) {}
};

const std::map<std::string, LogFormat> kFormatNames = {{"csv", LogFormat::Csv},
                                                       {"jsonl", LogFormat::JsonLines}};

constexpr auto kStatusRefresh = std::chrono::milliseconds(250);

// Where the rows go, one at a time from every supply's thread; it keeps the
// last row of each for the status line.
class RowCollector {
  public:
    RowCollector(std::ostream& out, LogFormat format, LogPlot* plot)
        : out_(out), writer_(Checked(out), format), plot_(plot) {
        Note();
    }
    void Take(const LogRow& row) {
        const std::lock_guard<std::mutex> lock(mutex_);
        errno = 0;  // so that the reason kept is this write's
        writer_.Write(row);
        Note();
        if (plot_) plot_->Add(row);
        last_[row.supply] = row;
        ++rows_;
    }
    // A write failed (full disk, closed pipe): logging on is logging into nothing.
    bool failed() const { return failed_; }
    // Flushes the rows; throws the first failed write's Failure, with its reason.
    void Finish(const std::string& name) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failed_) errno = error_;  // the writing thread's errno is not this one's
        FlushChecked(out_, name);
    }
    std::string StatusLine(double elapsedSeconds) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::string line;
        for (const auto& [supply, row] : last_) {
            char text[128];
            if (row.sample) {
                std::snprintf(text, sizeof text, "%.4f V %.4f A %s", row.sample->reading.volts,
                              row.sample->reading.amps, row.sample->state.code);
            } else {
                std::snprintf(text, sizeof text, "%s", StatusText(row.status));
            }
            line += supply + " " + text + " | ";
        }
        const long long s = static_cast<long long>(elapsedSeconds);
        char clock[64];
        std::snprintf(clock, sizeof clock, "%lld rows | %02lld:%02lld:%02lld", rows_, s / 3600,
                      s / 60 % 60, s % 60);
        return line + clock;
    }

  private:
    static std::ostream& Checked(std::ostream& out) {
        errno = 0;
        return out;
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
    std::map<std::string, LogRow> last_;
    long long rows_ = 0;
};

int RunLog(const LogCommand& command) {
    const std::vector<ConnectionOptions> connections = command.supplies.Connections();
    if (connections.empty()) throw UsageError("RESOURCE is required (or --simulate)");
    double duration = 0.0;
    if (!command.duration.empty()) {
        const std::optional<double> seconds = ParseDuration(command.duration);
        if (!seconds) {
            throw UsageError("--duration takes a length of time such as 90, 30s, 15m or 2h: " +
                             command.duration);
        }
        duration = *seconds;
    }
    std::optional<LogPlot> plot;
    if (!command.plot.empty()) plot.emplace(command.plot);
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
    RowCollector rows(out, Lookup(kFormatNames, command.formatName), plot ? &*plot : nullptr);
    const LogClock clock = LogClock::Starting(command.interval, duration);
    std::vector<SupplyTally> tallies(links.size());
    std::atomic<size_t> running{links.size()};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < links.size(); ++i) {
        threads.emplace_back([&, i] {
            RunSupplyLog(
                *links[i], clock, [&](const LogRow& row) { rows.Take(row); },
                [&] { return InterruptScope::Requested() || rows.failed(); }, tallies[i]);
            --running;
        });
    }
    const bool statusLine = isatty(STDERR_FILENO) && (file.is_open() || !isatty(STDOUT_FILENO));
    while (running > 0) {
        std::this_thread::sleep_for(kStatusRefresh);
        if (statusLine) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - clock.start)
                    .count();
            std::cerr << "\r\033[K" << rows.StatusLine(elapsed) << std::flush;
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (statusLine) std::cerr << "\r\033[K";
    for (size_t i = 0; i < links.size(); ++i) {
        std::cerr << tallies[i].Text(links[i]->name()) << std::endl;
    }
    rows.Finish(command.output.empty() ? kStandardOutputName : command.output);
    if (plot) plot->Write("qmdc log");
    // Without --duration Ctrl-C is the way to end the log.
    return InterruptScope::Requested() && duration > 0.0 ? kInterrupted : kSuccess;
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
    command.add_option("--duration", log->duration,
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
        "line is drawn on stderr when it is a terminal; at the end (or Ctrl-C) a summary per "
        "supply goes to stderr. Exit status 0 at the end or on Ctrl-C without --duration, 130 "
        "on Ctrl-C before the end of --duration.\n"
        "Example: qmdc log PSU1 PSU2 --interval 0.5 --duration 2h --output bench.csv "
        "--plot bench.svg");
    return [log] { return RunLog(*log); };
}

}  // namespace qmdc::cli
