// qmdc: the QmDC driver from a terminal. main() builds the command line from
// the table of subcommands, runs the one chosen and turns what went wrong
// into a message on stderr and the exit status: 0 done, 1 the driver, the
// instrument, a file or a helper program failed, 2 a usage error, 130
// interrupted. Every message starts with "qmdc: ".
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "QmDC.h"
#include "failure.h"
#include "standard_output.h"
#include "subcommands.h"

namespace {

using namespace qmdc::cli;

// Positionals are shown by name: which may be left out is said in their help.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_option_usage(const CLI::Option* opt) const override { return opt->get_name(); }
};

// CLI11 reports a mistyped subcommand as a missing one; this names it.
bool IsSubcommand(const std::string& word) {
    for (const Subcommand& subcommand : Subcommands()) {
        if (word == subcommand.name) return true;
    }
    return false;
}

std::string SubcommandNames() {
    std::string names;
    for (const Subcommand& subcommand : Subcommands()) {
        names += (names.empty() ? "" : ", ") + std::string(subcommand.name);
    }
    return names;
}

// What is still buffered for standard output, written and checked.
int FinishOutput(int status) {
    try {
        FlushChecked(std::cout, kStandardOutputName);
    } catch (const Failure& error) {
        std::cerr << "qmdc: " << error.what() << std::endl;
        return kFailure;
    }
    return status;
}

std::string DriverRevision() {
    ViChar revision[256] = "";
    QmDC_GetAttributeViString(VI_NULL, "", QMDC_ATTR_SPECIFIC_DRIVER_REVISION, sizeof revision,
                              revision);
    return revision;
}

constexpr const char* kFooter =
    "RESOURCE is a VISA resource name or a logical name from the IVI configuration store; "
    "with --simulate (all but shell) it may be left out. Each subcommand has its own --help.\n"
    "Exit status: 0 done, 1 the driver or the instrument failed (the driver's description on "
    "stderr) or a write failed, 2 a usage error, 130 interrupted.\n"
    "Examples:\n"
    "  qmdc info --simulate\n"
    "  qmdc get TCPIP0::127.0.0.1::5025::SOCKET VOLTAGE_LEVEL\n"
    "  qmdc set TCPIP0::127.0.0.1::5025::SOCKET OUTPUT_ENABLED on\n"
    "  qmdc measure TCPIP0::127.0.0.1::5025::SOCKET --count 10 --interval 0.5\n"
    "  qmdc sweep TCPIP0::127.0.0.1::5025::SOCKET --from 0 --to 10 --step 1 --plot vi.svg\n"
    "  qmdc shell ASRL/dev/ttyUSB0::INSTR";

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("qmdc - work with Orvane QM DC power supplies through the QmDC driver", "qmdc");
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->column_width(32);
    app.require_subcommand(1);
    app.set_version_flag("--version", "qmdc, driver QmDC " + DriverRevision());
    app.footer(kFooter);

    std::vector<std::pair<CLI::App*, Runner>> runners;
    for (const Subcommand& subcommand : Subcommands()) {
        CLI::App* command = app.add_subcommand(subcommand.name, subcommand.summary);
        runners.emplace_back(command, subcommand.define(*command));
    }
    if (argc > 1 && argv[1][0] != '-' && !IsSubcommand(argv[1])) {
        std::cerr << "qmdc: '" << argv[1] << "' is not a subcommand; they are " << SubcommandNames()
                  << "\nRun with --help for more information." << std::endl;
        return kUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {  // --help, --version
        app.exit(done);
        return FinishOutput(kSuccess);
    } catch (const CLI::ParseError& error) {
        std::cerr << "qmdc: " << error.what() << "\nRun with --help for more information."
                  << std::endl;
        return kUsage;
    }
    try {
        for (const auto& [command, run] : runners) {
            if (command->parsed()) return FinishOutput(run());
        }
    } catch (const UsageError& error) {
        std::cerr << "qmdc: " << error.what() << "\nRun with --help for more information."
                  << std::endl;
        return error.exitStatus();
    } catch (const Failure& error) {
        std::cerr << "qmdc: " << error.what() << std::endl;
        return error.exitStatus();
    } catch (const std::exception& error) {
        std::cerr << "qmdc: " << error.what() << std::endl;
        return kFailure;
    }
    return kUsage;
}
