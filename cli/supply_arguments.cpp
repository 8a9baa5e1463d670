#include "supply_arguments.h"

#include <CLI/CLI.hpp>

#include "failure.h"
#include "store_sessions.h"

namespace qmdc::cli {

SupplyArguments::SupplyArguments(CLI::App& command, StatusCheck statusCheck) {
    common_.statusCheck = statusCheck;
    command
        .add_option("RESOURCE", resources_,
                    "VISA resource names or logical names from the IVI configuration store, "
                    "one per supply")
        ->type_name("");
    auto* simulate = command.add_flag("--simulate", common_.simulate,
                                      "simulate the instruments: nothing is connected");
    command
        .add_option("--model", common_.model,
                    "the model to simulate, e.g. \"Bench 50-20 QM\" (default \"Rack 30-70 QM\")")
        ->needs(simulate);
    command.add_option("--options", common_.options, "more options for init of every session");
    command.add_flag("--trace", common_.trace, "show the instrument traffic on stderr");
}

std::vector<ConnectionOptions> SupplyArguments::ConnectionsTo(
    const std::vector<std::string>& resources) const {
    std::vector<ConnectionOptions> connections;
    for (const std::string& resource : resources) {
        connections.push_back(common_);
        connections.back().resource = resource;
    }
    return connections;
}

std::vector<ConnectionOptions> SupplyArguments::Connections() const {
    std::vector<ConnectionOptions> connections = ConnectionsTo(resources_);
    if (connections.empty() && common_.simulate) connections.push_back(common_);
    return connections;
}

std::vector<ConnectionOptions> SupplyArguments::ConnectionsOrStoreSessions() const {
    std::vector<ConnectionOptions> connections = Connections();
    if (!connections.empty()) return connections;
    connections = ConnectionsTo(StoreDriverSessions());
    if (connections.empty()) {
        throw UsageError("RESOURCE is required: the configuration store names no driver session");
    }
    return connections;
}

}  // namespace qmdc::cli
