// qmdc sweep: steps the output voltage, measures at each step, writes CSV
// and plots the V-I curve. The output is switched off at the end, on an
// error and on Ctrl-C.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "failure.h"
#include "interrupt.h"
#include "number_text.h"
#include "output_state.h"
#include "progress_bar.h"
#include "record_writer.h"
#include "subcommands.h"
#include "sweep_plan.h"
#include "vi_plot.h"

namespace qmdc::cli {
namespace {

struct SweepCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    double from = 0.0;
    double to = 0.0;
    double step = 0.0;
    double currentLimit = 0.0;
    CLI::Option* currentLimitOption = nullptr;
    long settleMs = 50;
    std::string output;
    std::string plot;
    explicit SweepCommand(CLI::App& command)
        : arguments(command, connection, StatusCheck::AfterEachOperation) {}
};

const std::vector<Column> kColumns = {
    {"set_voltage_V", 4}, {"voltage_V", 4}, {"current_A", 4}, {"power_W", 4}, {"mode", 0}};

// Switches the output off when the sweep ends, however it ends.
class OutputOffAtEnd {
  public:
    explicit OutputOffAtEnd(const DriverSession& session) : session_(session) {}
    ~OutputOffAtEnd() {
        if (!on_) return;
        const ViStatus status = QmDC_ConfigureOutputEnabled(session_.vi(), "", VI_FALSE);
        if (status < 0) {
            std::cerr << "qmdc: warning: could not switch the output off: "
                      << DescribeStatus(session_.vi(), status) << std::endl;
        }
    }
    void SwitchOn() {
        on_ = true;
        session_.Check(QmDC_ConfigureOutputEnabled(session_.vi(), "", VI_TRUE), "output on");
    }
    void SwitchOff() {
        on_ = false;
        session_.Check(QmDC_ConfigureOutputEnabled(session_.vi(), "", VI_FALSE), "output off");
    }

  private:
    const DriverSession& session_;
    bool on_ = false;
};

// Where the CSV goes: the file named, or standard output.
class CsvDestination {
  public:
    explicit CsvDestination(const std::string& path) {
        if (path.empty()) return;
        file_.open(path);
        if (!file_) throw Failure("cannot write " + path + ": " + std::strerror(errno));
    }
    std::ostream& stream() { return file_.is_open() ? file_ : std::cout; }

  private:
    std::ofstream file_;
};

void CheckRating(const DriverSession& session, const std::vector<double>& levels) {
    ViReal64 rating = 0.0;
    session.Check(QmDC_QueryMaxVoltageLevel(session.vi(), "", 0.0, &rating), "voltage rating");
    for (const double level : levels) {
        if (level > rating) {
            throw UsageError("the sweep reaches " + RealText(level) + " V, above the supply's " +
                             RealText(rating) + " V");
        }
    }
}

std::string StepsText(size_t done, size_t total) {
    return std::to_string(done) + " of " + std::to_string(total) + " steps";
}

int RunSweep(const SweepCommand& sweep) {
    const std::vector<double> levels = SweepLevels(sweep.from, sweep.to, sweep.step);
    std::optional<VoltageCurrentPlot> plot;
    if (!sweep.plot.empty()) plot.emplace(sweep.plot);
    CsvDestination destination(sweep.output);
    const DriverSession session(sweep.connection);
    CheckRating(session, levels);
    if (sweep.currentLimitOption->count() > 0) {
        session.Check(QmDC_SetAttributeViReal64(session.vi(), "", QMDC_ATTR_CURRENT_LEVEL,
                                                sweep.currentLimit),
                      "current level");
    }

    const InterruptScope interrupts;
    OutputOffAtEnd output(session);
    std::vector<SweepPoint> points;
    std::optional<OutputState> trip;
    {
        ProgressBar bar(stderr, levels.size());
        RecordWriter csv(destination.stream(), RecordFormat::Csv, kColumns);
        for (const double level : levels) {
            session.Check(QmDC_ConfigureVoltageLevel(session.vi(), "", level), "voltage level");
            if (points.empty()) output.SwitchOn();
            // Ctrl-C cuts the settling short; the step is measured and the sweep ends.
            SleepUnlessInterrupted(static_cast<double>(sweep.settleMs) / 1e3);
            const Reading reading = MeasureOutput(session);
            const OutputState state = QueryOutputState(session);
            csv.Write({level, reading.volts, reading.amps, reading.watts(), state.code});
            points.push_back({level, reading, state});
            bar.Update(points.size(), RealText(reading.volts) + " V  " + RealText(reading.amps) +
                                          " A  " + state.code);
            if (state.tripped) trip = state;
            if (trip || InterruptScope::Requested()) break;
        }
        output.SwitchOff();
    }
    if (!destination.stream()) throw Failure("cannot write " + sweep.output);
    if (plot)
        plot->Write(session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model") + ": V-I sweep", points);
    if (trip) {
        throw Failure(std::string("the ") + trip->text + " at " + RealText(points.back().setVolts) +
                      " V; the sweep stopped after " + StepsText(points.size(), levels.size()) +
                      " and switched the output off");
    }
    if (InterruptScope::Requested()) {
        std::cerr << "qmdc: interrupted after " << StepsText(points.size(), levels.size())
                  << "; the output is off" << std::endl;
        return kInterrupted;
    }
    return kSuccess;
}

}  // namespace

Runner DefineSweep(CLI::App& command) {
    auto sweep = std::make_shared<SweepCommand>(command);
    command.add_option("--from", sweep->from, "first voltage, V")->required();
    command.add_option("--to", sweep->to, "last voltage, V")->required();
    command.add_option("--step", sweep->step, "voltage step, V (above 0, either direction)")
        ->required();
    sweep->currentLimitOption =
        command
            .add_option("--current-limit", sweep->currentLimit,
                        "the current the supply regulates to during the sweep, A "
                        "(QMDC_ATTR_CURRENT_LEVEL; the over-current protection, "
                        "QMDC_ATTR_CURRENT_LIMIT, is left as it is)")
            ->check(CLI::PositiveNumber);
    command.add_option("--settle", sweep->settleMs, "wait after each step before measuring, ms")
        ->capture_default_str()
        ->check(CLI::Range(0L, 600000L));
    command.add_option("--output", sweep->output, "write the CSV to FILE.csv (default: stdout)");
    command.add_option("--plot", sweep->plot,
                       "plot the V-I curve into FILE.svg or FILE.png (needs gnuplot)");
    command.footer(
        "CSV columns: set_voltage_V, voltage_V, current_A, power_W and mode (CV, CC, UR: "
        "unregulated, OV/OC: a protection tripped, off).\n"
        "A progress bar is drawn on stderr when it is a terminal. The output is switched on for "
        "the sweep and off at its end; a tripped protection stops the sweep (exit status 1), "
        "Ctrl-C stops it after the step in progress (exit status 130).\n"
        "Example: qmdc sweep TCPIP0::127.0.0.1::5025::SOCKET --from 0 --to 20 --step 0.5 "
        "--current-limit 1.5 --output sweep.csv --plot sweep.svg");
    return [sweep] {
        sweep->arguments.Settle();
        return RunSweep(*sweep);
    };
}

}  // namespace qmdc::cli
