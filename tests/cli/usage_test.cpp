// The tool's command line: what it refuses (exit status 2), what the driver
// refuses (1, with the driver's own description), and the help texts.
#include <gtest/gtest.h>

#include <algorithm>

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
        {{"info"}, 2, "RESOURCE is missing (qmdc info RESOURCE)"},
        {{"info", "--bogus"}, 2, "--bogus"},
        {{"get", "--simulate"}, 2, "NAME is missing (qmdc get RESOURCE NAME)"},
        {{"set", "--simulate", "VOLTAGE_LEVEL"}, 2, "VALUE is missing"},
        {{"get", "VOLTAGE_LEVEL"},
         2,
         "NAME is missing (qmdc get RESOURCE NAME); 'VOLTAGE_LEVEL' was taken for RESOURCE"},
        {{"get", "SIM", "VOLTAGE_LEVEL", "extra"}, 2, "extra"},
        {{"get", "--simulate", "NO_SUCH_THING"}, 2, "no attribute 'NO_SUCH_THING'"},
        {{"get", "--simulate", "VOLTAGE"}, 2, "did you mean"},
        {{"get", "--simulate", "VOLTAGE_LEVL"}, 2, "did you mean VOLTAGE_LEVEL?"},
        {{"get", "--simulate", "voltge_level"}, 2, "did you mean VOLTAGE_LEVEL?"},
        {{"get", "--simulate", "VOLTAGE_LEVLE"}, 2, "did you mean VOLTAGE_LEVEL?"},
        {{"set", "--simulate", "VOLTAGE_LEVEL", "twelve"},
         2,
         "'twelve' is not a value of QMDC_ATTR_VOLTAGE_LEVEL; it takes a real number"},
        {{"set", "--simulate", "VOLTAGE_LEVEL", "nan"}, 2, "a real number"},
        {{"set", "--simulate", "OUTPUT_ENABLED", "maybe"}, 2, "on, off, true, false, 1 or 0"},
        {{"set", "--simulate", "CONTROL_SOURCE", "SIDEWAYS"},
         2,
         "one of QMDC_VAL_CONTROL_SOURCE_LOCAL (0), QMDC_VAL_CONTROL_SOURCE_REMOTE (1)"},
        {{"set", "--simulate", "CONTROL_SOURCE", "7"}, 2, "no value has that number"},
        {{"set", "--simulate", "ANALOG_VOLTAGE_SCALING_LEVEL", "3"},
         2,
         "the name that ends in _3 is QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3); it takes one of "
         "QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3 (0), QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5 (1), "
         "QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_10 (2)"},
        {{"set", "--simulate", "STATUS_BYTE_ENABLE_REGISTER", "99999999999"}, 2, "whole number"},
        {{"set", "--simulate", "SCPI_VERSION", "2"}, 2, "QMDC_ATTR_SCPI_VERSION is read-only"},
        {{"set", "--simulate", "CHANNEL_COUNT", "2"}, 2, "read-only"},
        {{"measure", "--simulate", "--count", "-1"},
         2,
         "qmdc: --count: takes a whole number from 0, not '-1'\n"},
        {{"measure", "--simulate", "--format", "xml"},
         2,
         "qmdc: --format: takes one of csv, json, table, not 'xml'\n"},
        {{"measure", "--simulate", "--interval", "-2"}, 2, "--interval: takes a number from 0"},
        {{"log", "--simulate", "--interval", "1", "--format", "xml"},
         2,
         "qmdc: --format: takes one of csv, jsonl, not 'xml'\n"},
        {{"log", "--simulate", "--interval", "0"},
         2,
         "qmdc: --interval: takes a number from 0.001 to 86400, not '0'\n"},
        {{"panel", "--simulate", "--rate", "99"},
         2,
         "qmdc: --rate: takes a number from 0.1 to 50, not '99'\n"},
        {{"panel", "--simulate", "--chart-minutes", "0"}, 2, "from 0.1 to 1440, not '0'"},
        {{"panel", "--simulate", "--port", "65536"}, 2, "whole number from 0 to 65535"},
        {{"info", "SIM", "--model", "Bench 50-20 QM"}, 2, "--model requires --simulate"},
        {{"info", "--simulate", "--model", "Bench 50-20 QM", "--options", "DriverSetup=Model:X"},
         2,
         "--model cannot be combined with a DriverSetup"},
        {{"shell", "SIM", "--timeout", "0"}, 2, "--timeout: takes a whole number from 1"},
        {{"shell", "--simulate"}, 2, "qmdc shell needs an instrument"},
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
        {{"get", "--simulate", "TRIGGER_SOURCE"},
         1,
         "feature: attribute 'QMDC_ATTR_TRIGGER_SOURCE'. (0xBFFA0012)"},
        // Kinds of resource our VISA library does not open: not "not present".
        {{"info", "USB0::0x1234::0x5678::SN1::RAW"},
         1,
         "this kind of resource (a raw USB device) is not supported by the VISA library in use"},
        {{"info", "GPIB0::5::INSTR"}, 1, "(a GPIB instrument) is not supported"},
        {{"info", "PXI0::INSTR"}, 1, "(a PXI instrument) is not supported"},
        {{"info", "VXI0::1::INSTR"}, 1, "(a VXI instrument) is not supported"},
        {Sweep({"--from", "0", "--to", "1", "--step", "1", "--plot", "/nonexistent-folder/v.svg"}),
         1, "cannot write /nonexistent-folder/v.svg: No such file or directory"},
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
        } else {
            // The tool's own words: its prefix, none of the parser's internals.
            EXPECT_EQ(result.err.rfind("qmdc: ", 0), 0u) << command << "\n" << result.err;
            EXPECT_EQ(result.err.find("->"), std::string::npos) << command << "\n" << result.err;
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
        {"log", {"--interval", "--duration", "--format", "jsonl", "0.001 to 86400"}},
        {"panel", {"--port", "--rate", "--chart-minutes", "0.1 to 50", "0.1 to 1440"}},
        {"sweep",
         {"--from", "--to", "--step", "--current-limit", "QMDC_ATTR_CURRENT_LEVEL", "--settle",
          "--output", "--plot", "gnuplot", "Ctrl-C", "levels the supply had before"}},
        {"shell", {"RESOURCE", "--timeout", "SYST:ERR?", "history", "Ctrl-C", "--options"}},
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
        EXPECT_EQ(help.out.find("->"), std::string::npos) << help.out;  // no parser internals
        if (c.subcommand == "shell") {
            // The shell cannot be simulated, so its help does not offer it.
            EXPECT_EQ(help.out.find("--simulate"), std::string::npos) << help.out;
            EXPECT_EQ(help.out.find("--model"), std::string::npos) << help.out;
        } else if (c.subcommand != "attributes") {
            for (const std::string& mention : connection) {
                EXPECT_NE(help.out.find(mention), std::string::npos) << c.subcommand << mention;
            }
        }
    }
}

}  // namespace
}  // namespace qmdc_cli_test

namespace qmdc_cli_test {
namespace {

// A write to standard output that fails ends the command with exit status 1
// and a message naming the file; measuring until Ctrl-C into a full disk stops.
TEST(Usage, AFailedWriteToStandardOutputEndsTheCommand) {
    const std::vector<std::string> commands = {
        "measure --simulate --count 0 --interval 0",
        "measure --simulate --format json",
        "get --simulate VOLTAGE_LEVEL",
        "info --simulate",
        "attributes",
        "sweep --simulate --from 0 --to 1 --step 1 --settle 0",
        "--help",
        "log --simulate --interval 0.1 --duration 60s",  // long before the 60 s
    };
    const std::string message = "qmdc: cannot write standard output: No space left on device\n";
    for (const std::string& command : commands) {
        ToolOptions options;
        options.program = "/bin/sh";
        options.deadline = std::chrono::seconds(10);
        const ToolResult result = RunTool(
            {"-c", "exec " + std::string(ToolPath()) + " " + command + " > /dev/full"}, options);
        EXPECT_EQ(result.status, 1) << command << "\n" << result.err;
        if (command.rfind("log ", 0) == 0) {  // after the summary on stderr
            EXPECT_EQ(
                result.err.substr(result.err.size() - std::min(result.err.size(), message.size())),
                message)
                << command;
        } else {
            EXPECT_EQ(result.err, message) << command;
        }
    }
}

}  // namespace
}  // namespace qmdc_cli_test

namespace qmdc_cli_test {
namespace {

// The tool is a client of libqmdc.so like any user's program: it carries no
// copy of the driver's functions, so that replacing the library changes it.
TEST(Usage, TheToolUsesTheSharedDriver) {
    ToolOptions options;
    options.program = "/bin/sh";
    const ToolResult needed = RunTool({"-c", "readelf -d " + std::string(ToolPath())}, options);
    ASSERT_EQ(needed.status, 0) << needed.err;
    EXPECT_NE(needed.out.find("[libqmdc.so]"), std::string::npos) << needed.out;
    const ToolResult defined = RunTool(
        {"-c", "nm --defined-only " + std::string(ToolPath()) + " | grep -c ' QmDC_' || true"},
        options);
    EXPECT_EQ(defined.out, "0\n") << "qmdc defines driver functions of its own";
}

}  // namespace
}  // namespace qmdc_cli_test
