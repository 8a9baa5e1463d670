#include "connection.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>

#include "failure.h"

namespace qmdc::cli {
namespace {

bool MentionsIgnoringCase(const std::string& text, const std::string& word) {
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(text).find(lower(word)) != std::string::npos;
}

}  // namespace

std::string InitOptionString(const ConnectionOptions& connection) {
    std::vector<std::string> parts;
    if (connection.statusCheck == StatusCheck::AfterEachOperation &&
        !MentionsIgnoringCase(connection.options, "QueryInstrStatus")) {
        parts.push_back("QueryInstrStatus=1");
    }
    if (connection.simulate) parts.push_back("Simulate=1");
    // DriverSetup takes the rest of the string, so it comes last.
    if (!connection.options.empty()) parts.push_back(connection.options);
    if (!connection.model.empty()) {
        if (MentionsIgnoringCase(connection.options, "DriverSetup")) {
            throw UsageError("--model cannot be combined with a DriverSetup in --options");
        }
        parts.push_back("DriverSetup=Model:" + connection.model);
    }
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

SessionArguments::SessionArguments(CLI::App& command, ConnectionOptions& connection,
                                   StatusCheck statusCheck, Simulation simulation)
    : connection_(connection), command_(command), simulation_(simulation) {
    connection.statusCheck = statusCheck;
    const bool offered = simulation == Simulation::Offered;
    const std::string resource =
        "VISA resource name (TCPIP0::host::port::SOCKET, ASRL1::INSTR, ASRL/dev/ttyUSB0::INSTR) "
        "or a logical name from the IVI configuration store";
    resourceHelp_ = offered ? resource + "; may be left out with --simulate" : resource;
    AddPositional("RESOURCE", connection.resource, resourceHelp_.c_str());
    // Refused, --simulate is still read (out of the help), to say why.
    auto* simulate = command.add_flag("--simulate", connection.simulate,
                                      "simulate the instrument: nothing is connected");
    auto* model = command
                      .add_option("--model", connection.model,
                                  "the model to simulate, e.g. \"Bench 50-20 QM\" (default "
                                  "\"Rack 30-70 QM\")")
                      ->needs(simulate);
    if (!offered) {
        simulate->group("");
        model->group("");
    }
    const bool checks = statusCheck == StatusCheck::AfterEachOperation;
    command.add_option("--options", connection.options,
                       std::string("more options for init, e.g. \"Cache=0, RangeCheck=0\"") +
                           (checks ? "; the tool adds QueryInstrStatus=1 (an instrument error "
                                     "fails the command; the driver clears the instrument's "
                                     "status and error queue at init) unless these name it"
                                   : ""));
    command.add_flag("--trace", connection.trace, "show the instrument traffic on stderr");
}

void SessionArguments::AddPositional(const char* name, std::string& value, const char* description,
                                     bool required) {
    command_.add_option(name, value, description)->type_name("");
    positionals_.push_back({name, &value, required});
}

void SessionArguments::Settle() {
    if (connection_.simulate && simulation_ == Simulation::Refused) {
        throw UsageError("qmdc " + command_.get_name() +
                         " needs an instrument: the driver cannot simulate it (--simulate)");
    }
    const auto given =
        static_cast<size_t>(std::count_if(positionals_.begin(), positionals_.end(),
                                          [](const Positional& p) { return !p.value->empty(); }));
    const auto required = static_cast<size_t>(std::count_if(
        positionals_.begin(), positionals_.end(), [](const Positional& p) { return p.required; }));
    // Without RESOURCE, what was given belongs one place further on.
    if (connection_.simulate && given < required) {
        for (size_t i = positionals_.size() - 1; i > 0; --i) {
            *positionals_[i].value = *positionals_[i - 1].value;
        }
        positionals_.front().value->clear();
    }
    for (size_t i = connection_.simulate ? 1 : 0; i < positionals_.size(); ++i) {
        if (!positionals_[i].required || !positionals_[i].value->empty()) continue;
        std::string usage = "qmdc " + command_.get_name();
        for (const Positional& positional : positionals_) {
            if (positional.required) usage += std::string(" ") + positional.name;
        }
        std::string message = std::string(positionals_[i].name) + " is missing (" + usage + ")";
        if (i > 0 && !connection_.simulate) {
            message +=
                "; '" + connection_.resource +
                "' was taken for RESOURCE, the supply's VISA resource name or logical name" +
                (simulation_ == Simulation::Offered ? ", which only --simulate leaves out" : "");
        }
        throw UsageError(message);
    }
}

}  // namespace qmdc::cli
