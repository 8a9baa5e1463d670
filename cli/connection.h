// Where a subcommand's session goes and how it is opened: the RESOURCE
// argument, --simulate, --model, --options and --trace, and the option string
// they make for QmDC_InitWithOptions.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qmdc::cli {

// Whether the driver checks the instrument's status after each operation.
// Subcommands that change the supply turn it on, so that an instrument error
// fails the command; the driver then clears the status and the error queue
// (*CLS) at init, so that the errors reported are the command's own. Those
// that only read leave it to the user, so that they read the supply as it is.
enum class StatusCheck { AsConfigured, AfterEachOperation };

// Whether a subcommand can work with a simulated instrument. One that cannot
// (the SCPI shell: the driver has no simulated direct I/O) does not offer
// --simulate and calls it a usage error.
enum class Simulation { Offered, Refused };

struct ConnectionOptions {
    StatusCheck statusCheck = StatusCheck::AsConfigured;
    std::string resource;  // a VISA resource name or a logical name; "" when simulating
    bool simulate = false;
    std::string model;    // the simulated model
    std::string options;  // the user's own option string
    bool trace = false;
};

// "QueryInstrStatus=1" when the status check is wanted and the user's options
// do not name it, "Simulate=1", the user's options, "DriverSetup=Model:M".
std::string InitOptionString(const ConnectionOptions& connection);

// The positional arguments of a subcommand that opens a session: RESOURCE,
// then the subcommand's own. RESOURCE may be left out with --simulate, which
// no parser can tell from the positions alone, so they are all optional to
// CLI11 and put in place by Settle() once the command line is parsed.
class SessionArguments {
  public:
    SessionArguments(CLI::App& command, ConnectionOptions& connection,
                     StatusCheck statusCheck = StatusCheck::AsConfigured,
                     Simulation simulation = Simulation::Offered);

    // The next positional after RESOURCE (in order); required ones must be given.
    void AddPositional(const char* name, std::string& value, const char* description,
                       bool required = true);

    // Shifts the positionals when RESOURCE was left out and checks that the
    // required ones are there; throws UsageError (saying what was taken for
    // RESOURCE when a later one is missing: "qmdc get VOLTAGE_LEVEL").
    void Settle();

  private:
    struct Positional {
        const char* name;
        std::string* value;
        bool required;
    };
    ConnectionOptions& connection_;
    CLI::App& command_;
    Simulation simulation_;
    std::string resourceHelp_;
    std::vector<Positional> positionals_;  // RESOURCE first
};

}  // namespace qmdc::cli
