// qmdc info: who the supply is, what it can do and how it is now.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "failure.h"
#include "number_text.h"
#include "output_state.h"
#include "standard_output.h"
#include "subcommands.h"

namespace qmdc::cli {
namespace {

std::string RatingsText(const DriverSession& session) {
    const Ratings ratings = QueryRatings(session);
    return RealText(ratings.volts) + " V, " + RealText(ratings.amps) + " A, " +
           RealText(ratings.watts) + " W";
}

std::string Revisions(const DriverSession& session, std::string& firmware) {
    ViChar driver[256] = "", instrument[256] = "";
    session.Check(QmDC_revision_query(session.vi(), driver, instrument), "revision query");
    firmware = instrument;
    return driver;
}

std::string Output(const DriverSession& session) {
    const bool enabled = session.Boolean(QMDC_ATTR_OUTPUT_ENABLED, "output enabled");
    const OutputState state = QueryOutputState(session);
    return std::string(enabled ? "on" : "off") + ", " + state.text;
}

// "12 V, 1.5 A": what the output regulates to.
std::string Levels(const DriverSession& session) {
    return RealText(session.Real(QMDC_ATTR_VOLTAGE_LEVEL, "voltage level")) + " V, " +
           RealText(session.Real(QMDC_ATTR_CURRENT_LEVEL, "current level")) + " A";
}

std::string Protection(const DriverSession& session) {
    return "OVP " + RealText(session.Real(QMDC_ATTR_OVP_LIMIT, "OVP level")) + " V, OCP " +
           RealText(session.Real(QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL, "OCP level")) + " A";
}

struct InfoCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    explicit InfoCommand(CLI::App& command) : arguments(command, connection) {}
};

}  // namespace

Runner DefineInfo(CLI::App& command) {
    auto info = std::make_shared<InfoCommand>(command);
    command.footer(
        "Reading the error queue empties it.\n"
        "Example: qmdc info --simulate --model \"Bench 50-20 QM\"");
    return [info] {
        info->arguments.Settle();
        const DriverSession session(info->connection);
        StandardOutput out;
        const auto Line = [&out](const char* label, const std::string& value) {
            char text[32];
            std::snprintf(text, sizeof text, "%-12s", label);
            out.Line(text + value);
        };
        const std::string resource = session.Text(QMDC_ATTR_IO_RESOURCE_DESCRIPTOR, "resource");
        std::string firmware;
        const std::string driver = Revisions(session, firmware);
        Line("Resource", session.simulated() ? "simulated" : resource);
        Line("Instrument", session.Text(QMDC_ATTR_INSTRUMENT_MANUFACTURER, "manufacturer") + " " +
                               session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model"));
        Line("Serial", session.SerialNumber());
        Line("Output", Output(session));
        Line("Levels", Levels(session));
        Line("Protection", Protection(session));
        Line("Ratings", RatingsText(session));
        Line("Firmware", firmware);
        Line("Driver",
             session.Text(QMDC_ATTR_SPECIFIC_DRIVER_PREFIX, "driver prefix") + " " + driver);
        const std::vector<std::string> errors = session.TakeErrorQueue();
        Line("Errors", errors.empty() ? "none" : errors.front());
        for (size_t i = 1; i < errors.size(); ++i) Line("", errors[i]);
        return int(kSuccess);
    };
}

}  // namespace qmdc::cli
