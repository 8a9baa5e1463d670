// qmdc list: what the VISA library finds, with each one's *IDN? when asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_test_support.h"

namespace qmdc_cli_test {
namespace {

TEST(List, FindsAndIdentifies) {
    qmdc::testing::EmulatorProcess emulator({"--tcp", "--pty"});
    const std::string tcp = emulator.resources()[0], pty = emulator.resources()[1];
    // A made-up sysfs with one UART and one port without a UART behind it, so
    // that nothing is written to this machine's own serial ports.
    TempFolder sys;
    for (const auto& [port, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
        std::filesystem::create_directories(sys.path() + "/class/tty/" + port);
        std::ofstream(sys.path() + "/class/tty/" + port + "/type") << type << "\n";
    }
    ToolOptions options;
    options.env["QMDC_VISA_SYSFS"] = sys.path();
    options.env["QMDC_VISA_DISCOVERY_MS"] = "0";  // what the network holds differs
    options.env["QMDC_VISA_RESOURCES_FILE"] = sys.path() + "/none";
    options.env["QMDC_VISA_RESOURCES"] = tcp + ";" + pty + ";TCPIP::127.0.0.1::1::SOCKET";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } rows[] = {
        {{"list"}, 0, "ASRL1::INSTR\n" + tcp + "\n" + pty + "\nTCPIP0::127.0.0.1::1::SOCKET\n", ""},
        {{"list", "TCPIP?*", "--identify", "--timeout", "500"},
         0,
         tcp + std::string(40 - tcp.size() + 1, ' ') + "Orvane,Rack 30-70 QM,SN0001,1.2.3\n" +
             "TCPIP0::127.0.0.1::1::SOCKET             (no answer: The resource is not present "
             "or the name lacks location information.)\n",
         ""},
        // Serial ports are not asked unless the expression names them: the
        // made-up ttyS0 is this machine's real one.
        {{"list", "?*", "--identify", "--timeout", "500"},
         0,
         "ASRL1::INSTR                             (not asked: a serial port; list \"ASRL?*\" to "
         "ask)\n" +
             tcp + std::string(40 - tcp.size() + 1, ' ') + "Orvane,Rack 30-70 QM,SN0001,1.2.3\n" +
             pty + std::string(40 - pty.size() + 1, ' ') +
             "(not asked: a serial port; list \"ASRL?*\" to ask)\n" +
             "TCPIP0::127.0.0.1::1::SOCKET             (no answer: The resource is not present "
             "or the name lacks location information.)\n",
         ""},
        {{"list", "ASRL/?*", "--identify"},
         0,
         pty + std::string(40 - pty.size() + 1, ' ') + "Orvane,Rack 30-70 QM,SN0001,1.2.3\n",
         ""},
        {{"list", "GPIB?*"}, 0, "", "qmdc: no resource matches 'GPIB?*'\n"},
        {{"list", "ASRL["}, 2, "", "qmdc: 'ASRL[' is not a VISA search expression\n"},
    };
    for (const auto& row : rows) {
        const ToolResult result = RunTool(row.args, options);
        const std::string call = row.args.size() > 1 ? row.args[1] : "list";
        EXPECT_EQ(result.status, row.status) << call << ": " << result.err;
        EXPECT_EQ(result.out, row.out) << call;
        EXPECT_EQ(result.err.substr(0, row.err.size()), row.err) << call;
    }
}

}  // namespace
}  // namespace qmdc_cli_test
