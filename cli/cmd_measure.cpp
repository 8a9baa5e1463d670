// qmdc measure: the output's voltage, current and power, once or at intervals.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>

#include "failure.h"
#include "interrupt.h"
#include "output_state.h"
#include "option_checks.h"
#include "record_writer.h"
#include "standard_output.h"
#include "subcommands.h"

namespace qmdc::cli {
namespace {

struct MeasureCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    long count = 1;
    double interval = 1.0;
    std::string formatName = "table";
    explicit MeasureCommand(CLI::App& command) : arguments(command, connection) {}
};

const std::vector<Column> kColumns = {
    {"time_s", 3}, {"voltage_V", 4}, {"current_A", 4}, {"power_W", 4}};

const std::map<std::string, RecordFormat> kFormatNames = {
    {"table", RecordFormat::Table}, {"csv", RecordFormat::Csv}, {"json", RecordFormat::Json}};

}  // namespace

Runner DefineMeasure(CLI::App& command) {
    auto measure = std::make_shared<MeasureCommand>(command);
    command.add_option("--count", measure->count, "how many readings (default 1); 0: until Ctrl-C")
        ->type_name("N")
        ->check(WholeNumberAtLeast(0));
    command
        .add_option("--interval", measure->interval,
                    "seconds from one reading to the next (default 1)")
        ->type_name("SECONDS")
        ->check(NumberAtLeast(0.0));
    command.add_option("--format", measure->formatName, "table (default), csv or json")
        ->type_name("FORMAT")
        ->check(OneOf(kFormatNames));
    command.footer(
        "Power is voltage times current. time_s counts from the first reading.\n"
        "Ctrl-C stops after the reading in progress (exit status 130). A write to standard "
        "output that fails (a full disk) ends the command (exit status 1).\n"
        "Example: qmdc measure TCPIP0::127.0.0.1::5025::SOCKET --count 5 --interval 0.5 "
        "--format csv");
    return [measure] {
        measure->arguments.Settle();
        const DriverSession session(measure->connection);
        const InterruptScope interrupts;
        RecordWriter writer(std::cout, kStandardOutputName,
                            Lookup(kFormatNames, measure->formatName), kColumns);
        std::chrono::steady_clock::time_point start;
        long taken = 0;
        while ((measure->count == 0 || taken < measure->count) && !InterruptScope::Requested()) {
            if (taken > 0 && !SleepUnlessInterrupted(measure->interval)) break;
            const auto at = std::chrono::steady_clock::now();
            if (taken == 0) start = at;
            const Reading reading = MeasureOutput(session);
            // Milliseconds: what a sleep between readings can be trusted to.
            const double seconds =
                std::round(std::chrono::duration<double>(at - start).count() * 1e3) / 1e3;
            writer.Write({seconds, reading.volts, reading.amps, reading.watts()});
            ++taken;
        }
        writer.Finish();
        return int(InterruptScope::Requested() ? kInterrupted : kSuccess);
    };
}

}  // namespace qmdc::cli
