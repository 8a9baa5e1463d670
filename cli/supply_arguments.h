// The arguments of the subcommands that work with several supplies at once
// (log, panel): RESOURCE..., each opened with the same --simulate, --model,
// --options and --trace.
#pragma once

#include <string>
#include <vector>

#include "connection.h"

namespace CLI {
class App;
}

namespace qmdc::cli {

class SupplyArguments {
  public:
    SupplyArguments(CLI::App& command, StatusCheck statusCheck);

    // One connection per resource named; with --simulate and none, one
    // simulated supply. Empty when none was named and nothing simulates.
    std::vector<ConnectionOptions> Connections() const;
    // The same; when none was named and nothing simulates, one per driver
    // session of the configuration store. Throws UsageError when that names
    // none, and a Failure when the store cannot be read.
    std::vector<ConnectionOptions> ConnectionsOrStoreSessions() const;
    // One connection with the common options to each resource.
    std::vector<ConnectionOptions> ConnectionsTo(const std::vector<std::string>& resources) const;
    // The options every connection shares (no resource).
    const ConnectionOptions& common() const { return common_; }

  private:
    ConnectionOptions common_;
    std::vector<std::string> resources_;
};

}  // namespace qmdc::cli
