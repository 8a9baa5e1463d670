// qmdc sweep: steps the output voltage, measures at each step, writes CSV
// and plots the V-I curve. However the sweep ends, the supply gets back the
// levels and the output state it had before.
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
#include "option_checks.h"
#include "standard_output.h"
#include "subcommands.h"
#include "supply_settings.h"
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

// Where the CSV goes: the file named, or standard output.
class CsvDestination {
  public:
    explicit CsvDestination(const std::string& path) : name_(path) {
        if (path.empty()) {
            name_ = kStandardOutputName;
            return;
        }
        file_.open(path);
        if (!file_) throw Failure("cannot write " + path + ": " + std::strerror(errno));
    }
    std::ostream& stream() { return file_.is_open() ? file_ : std::cout; }
    const std::string& name() const { return name_; }

  private:
    std::ofstream file_;
    std::string name_;
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

// What the sweep did to the output at its end, for the messages.
std::string Afterwards(const SupplySettings& before, bool tripped) {
    const std::string levels = "the levels are back at " + RealText(before.volts()) + " V, " +
                               RealText(before.amps()) + " A";
    if (!before.outputWasOn()) return levels + " and the output is off";
    return levels + (tripped ? " and the output is left off" : " and the output is on again");
}

int RunSweep(const SweepCommand& sweep) {
    const std::vector<double> levels = SweepLevels(sweep.from, sweep.to, sweep.step);
    // Whatever cannot be written is found before the supply is touched.
    std::optional<VoltageCurrentPlot> plot;
    if (!sweep.plot.empty()) plot.emplace(sweep.plot);
    CsvDestination destination(sweep.output);
    const DriverSession session(sweep.connection);
    CheckRating(session, levels);
    SupplySettings before(session);
    if (sweep.currentLimitOption->count() > 0) {
        session.Check(QmDC_SetAttributeViReal64(session.vi(), "", QMDC_ATTR_CURRENT_LEVEL,
                                                sweep.currentLimit),
                      "current level");
    }

    const InterruptScope interrupts;
    std::vector<SweepPoint> points;
    std::optional<OutputState> trip;
    {
        ProgressBar bar(stderr, levels.size());
        RecordWriter csv(destination.stream(), destination.name(), RecordFormat::Csv, kColumns);
        for (const double level : levels) {
            session.Check(QmDC_ConfigureVoltageLevel(session.vi(), "", level), "voltage level");
            if (points.empty()) {
                session.Check(QmDC_ConfigureOutputEnabled(session.vi(), "", VI_TRUE), "output on");
            }
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
        csv.Finish();
    }
    before.Restore(trip.has_value());
    if (plot)
        plot->Write(session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model") + ": V-I sweep", points);
    if (trip) {
        throw Failure(std::string("the ") + trip->text + " at " + RealText(points.back().setVolts) +
                      " V; the sweep stopped after " + StepsText(points.size(), levels.size()) +
                      "; " + Afterwards(before, true));
    }
    if (InterruptScope::Requested()) {
        std::cerr << "qmdc: interrupted after " << StepsText(points.size(), levels.size()) << "; "
                  << Afterwards(before, false) << std::endl;
        return kInterrupted;
    }
    return kSuccess;
}

}  // namespace

Runner DefineSweep(CLI::App& command) {
    auto sweep = std::make_shared<SweepCommand>(command);
    command.add_option("--from", sweep->from, "first voltage, V")->type_name("VOLTS")->required();
    command.add_option("--to", sweep->to, "last voltage, V")->type_name("VOLTS")->required();
    command.add_option("--step", sweep->step, "voltage step, V (above 0, either direction)")
        ->type_name("VOLTS")
        ->required();
    sweep->currentLimitOption =
        command
            .add_option("--current-limit", sweep->currentLimit,
                        "the current the supply regulates to during the sweep, A "
                        "(QMDC_ATTR_CURRENT_LEVEL; the over-current protection, "
                        "QMDC_ATTR_CURRENT_LIMIT, is left as it is)")
            ->type_name("AMPS")
            ->check(NumberAtLeast(0.0, true));
    command
        .add_option("--settle", sweep->settleMs,
                    "wait after each step before measuring, ms (default 50)")
        ->type_name("MS")
        ->check(WholeNumberBetween(0, 600000));
    command.add_option("--output", sweep->output, "write the CSV to FILE.csv (default: stdout)");
    command.add_option("--plot", sweep->plot,
                       "plot the V-I curve into FILE.svg or FILE.png (needs gnuplot)");
    command.footer(
        "CSV columns: set_voltage_V, voltage_V, current_A, power_W and mode (CV, CC, UR: "
        "unregulated, OV/OC: a protection tripped, off).\n"
        "A progress bar is drawn on stderr when it is a terminal. The output is switched on for "
        "the sweep. At its end, on a tripped protection (exit status 1) and on Ctrl-C (after the "
        "step in progress, exit status 130) the output is switched off, the voltage and current "
        "levels the supply had before are set again, and the output is switched on again if it "
        "was on before (not after a trip). The plot and the --output file are checked to be "
        "writable before the supply is touched.\n"
        "Example: qmdc sweep TCPIP0::127.0.0.1::5025::SOCKET --from 0 --to 20 --step 0.5 "
        "--current-limit 1.5 --output sweep.csv --plot sweep.svg");
    return [sweep] {
        sweep->arguments.Settle();
        return RunSweep(*sweep);
    };
}

}  // namespace qmdc::cli
