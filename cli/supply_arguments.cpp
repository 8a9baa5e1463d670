#include "supply_arguments.h"

#include <CLI/CLI.hpp>

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

std::vector<ConnectionOptions> SupplyArguments::Connections() const {
    std::vector<ConnectionOptions> connections;
    for (const std::string& resource : resources_) {
        connections.push_back(common_);
        connections.back().resource = resource;
    }
    if (connections.empty() && common_.simulate) connections.push_back(common_);
    return connections;
}

}  // namespace qmdc::cli
