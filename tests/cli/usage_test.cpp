// The tool's command line: what it refuses (exit status 2), what the driver
// refuses (1, with the driver's own description), and the help texts.
#include <gtest/gtest.h>

#include "loopback_listener.h"
#include "tool_process.h"

namespace qmdc_cli_test {
namespace {

struct ExitCase {
    std::vector<std::string> args;
    int status;
    std::string err;  // part of standard error
};

const std::vector<std::string> kSimSweep = {"sweep", "--simulate", "--settle", "0"};

std::vector<std::string> Sweep(std::vector<std::string> more) {
    std::vector<std::string> args = kSimSweep;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(Usage, ExitStatusAndMessage) {
    const std::vector<ExitCase> cases = {
        // Usage errors.
        {{}, 2, "A subcommand is required"},
        {{"frobnicate"}, 2, "'frobnicate' is not a subcommand; they are info, attributes, get"},
        {{"info"}, 2, "RESOURCE is required"},
        {{"info", "--bogus"}, 2, "--bogus"},
        {{"get", "--simulate"}, 2, "NAME is required"},
        {{"set", "--simulate", "VOLTAGE_LEVEL"}, 2, "VALUE is required"},
        {{"get", "SIM", "VOLTAGE_LEVEL", "extra"}, 2, "extra"},
        {{"get", "--simulate", "NO_SUCH_THING"}, 2, "no attribute 'NO_SUCH_THING'"},
        {{"get", "--simulate", "VOLTAGE"}, 2, "did you mean"},
        {{"set", "--simulate", "VOLTAGE_LEVEL", "twelve"},
         2,
         "'twelve' is not a value of QMDC_ATTR_VOLTAGE_LEVEL; it takes a real number"},
        {{"set", "--simulate", "VOLTAGE_LEVEL", "nan"}, 2, "a real number"},
        {{"set", "--simulate", "OUTPUT_ENABLED", "maybe"}, 2, "on, off, true, false, 1 or 0"},
        {{"set", "--simulate", "CONTROL_SOURCE", "SIDEWAYS"},
         2,
         "one of QMDC_VAL_CONTROL_SOURCE_LOCAL, QMDC_VAL_CONTROL_SOURCE_REMOTE"},
        {{"set", "--simulate", "STATUS_BYTE_ENABLE_REGISTER", "99999999999"}, 2, "whole number"},
        {{"set", "--simulate", "SCPI_VERSION", "2"}, 2, "QMDC_ATTR_SCPI_VERSION is read-only"},
        {{"set", "--simulate", "CHANNEL_COUNT", "2"}, 2, "read-only"},
        {{"measure", "--simulate", "--count", "-1"}, 2, "--count"},
        {{"measure", "--simulate", "--format", "xml"}, 2, "xml"},
        {{"info", "SIM", "--model", "Bench 50-20 QM"}, 2, "--model requires --simulate"},
        {{"info", "--simulate", "--model", "Bench 50-20 QM", "--options", "DriverSetup=Model:X"},
         2,
         "--model cannot be combined with a DriverSetup"},
        {{"shell", "--simulate", "--timeout", "0"}, 2, "--timeout"},
        {Sweep({"--from", "0", "--to", "1"}), 2, "--step is required"},
        {Sweep({"--from", "0", "--to", "1", "--step", "0"}), 2, "--step must be above 0 V"},
        {Sweep({"--from", "-1", "--to", "1", "--step", "1"}), 2, "below 0 V"},
        {Sweep({"--from", "0", "--to", "31", "--step", "1"}), 2, "above the supply's 30 V"},
        {Sweep({"--from", "0", "--to", "1", "--step", "1e-6"}), 2, "more than 100000 steps"},
        {Sweep({"--from", "0", "--to", "1", "--step", "1", "--plot", "x.pdf"}), 2, ".svg or .png"},
        {Sweep({"--from", "0", "--to", "1", "--step", "1", "--current-limit", "0"}), 2,
         "--current-limit"},
        // The driver refuses: its own description.
        {{"info", "--simulate", "--model", "Nope 1-1"}, 1, "Unrecognized model: Nope 1-1"},
        {{"info", "--simulate", "--options", "RangeCheck=maybe"}, 1, "0xBFFA004C"},
        {{"info", "not a resource"}, 1, "The resource name is not valid"},
        {{"info", qmdc_test::ClosedLoopbackResource()}, 1, "cannot open TCPIP0::127.0.0.1::"},
        {{"get", "--simulate", "VOLTAGE_LEVEL", "--channel", "CH9"}, 1, "CH9"},
        {{"get", "--simulate", "TRIGGER_SOURCE"}, 1, "0xBFFA0012"},
        {{"shell", "--simulate"}, 1, "Direct I/O operations are not available in simulation mode"},
        {{"sweep", "--simulate", "--from", "0", "--to", "1", "--step", "1", "--output",
          "/nonexistent-folder/sweep.csv"},
         1,
         "cannot write /nonexistent-folder/sweep.csv"},
        // Success.
        {{"info", "--simulate"}, 0, ""},
        {{"get", "--simulate", "VOLTAGE_LEVEL", "--channel", "CH1"}, 0, ""},
    };
    for (const ExitCase& c : cases) {
        const ToolResult result = RunTool(c.args);
        std::string command = "qmdc";
        for (const std::string& arg : c.args) command += " " + arg;
        EXPECT_EQ(result.status, c.status) << command << "\n" << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << command << "\n" << result.err;
        if (c.status == 0) {
            EXPECT_EQ(result.err, "") << command;
        }
    }
}

TEST(Usage, VersionNamesTheDriver) {
    const ToolResult result = RunTool({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "qmdc, driver QmDC 1.0.0.0\n");
}

// Every subcommand is in the main help, and every one of its options in its own.
TEST(Usage, HelpIsComplete) {
    const std::vector<std::string> connection = {"RESOURCE", "--simulate", "--model", "--options",
                                                 "--trace"};
    struct HelpCase {
        std::string subcommand;
        std::vector<std::string> mentions;
    };
    const std::vector<HelpCase> cases = {
        {"info", connection},
        {"attributes", {"Usage: qmdc attributes"}},
        {"get", {"NAME", "--channel", "QMDC_ATTR_VOLTAGE_LEVEL"}},
        {"set", {"NAME", "VALUE", "--channel", "on/off/true/false/1/0", "QMDC_VAL_"}},
        {"measure", {"--count", "--interval", "--format", "csv", "json"}},
        {"sweep",
         {"--from", "--to", "--step", "--current-limit", "QMDC_ATTR_CURRENT_LEVEL", "--settle",
          "--output", "--plot", "gnuplot", "Ctrl-C"}},
        {"shell", {"--timeout", "SYST:ERR?", "history"}},
    };
    const ToolResult main = RunTool({"--help"});
    EXPECT_EQ(main.status, 0);
    for (const std::string mention : {"Usage: qmdc", "Exit status", "--version", "--simulate"}) {
        EXPECT_NE(main.out.find(mention), std::string::npos) << mention;
    }
    for (const HelpCase& c : cases) {
        EXPECT_NE(main.out.find("  " + c.subcommand + " "), std::string::npos) << c.subcommand;
        const ToolResult help = RunTool({c.subcommand, "--help"});
        EXPECT_EQ(help.status, 0) << c.subcommand;
        EXPECT_NE(help.out.find("Usage: qmdc " + c.subcommand), std::string::npos) << help.out;
        for (const std::string& mention : c.mentions) {
            EXPECT_NE(help.out.find(mention), std::string::npos)
                << c.subcommand << " --help lacks " << mention << "\n"
                << help.out;
        }
        if (c.subcommand != "attributes") {
            for (const std::string& mention : connection) {
                EXPECT_NE(help.out.find(mention), std::string::npos) << c.subcommand << mention;
            }
        }
    }
}

}  // namespace
}  // namespace qmdc_cli_test
