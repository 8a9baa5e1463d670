// The qmdc-emulator command line as a user types it: option values after a
// space or an equals sign, and a clear message (exit status 2) for what it
// cannot take.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emulator_process.h"
#include "loopback_listener.h"

namespace qmdc::emu {
namespace {

using qmdc::testing::EmulatorProcess;

// A loopback port free a moment ago, for the options that name one.
std::string FreePort() {
    int port = 0;
    const int fd = qmdc_test::BindLoopback(&port);
    if (fd >= 0) ::close(fd);
    return std::to_string(port);
}

struct Started {
    std::vector<std::string> args;
    std::vector<std::string> resourceEnds;  // how each printed resource name ends
};

TEST(EmulatorCommandLine, OptionValuesFollowASpaceOrAnEqualsSign) {
    const std::string port = FreePort();
    const std::vector<Started> rows = {
        {{"--tcp", port}, {"::" + port + "::SOCKET"}},
        {{"--tcp=" + port, "--load", "5"}, {"::" + port + "::SOCKET"}},
        {{"--tcp", "0", "--model", "Bench 50-20 QM"}, {"::SOCKET"}},
        {{"--pty", "--tcp", "0"}, {"::SOCKET", "::INSTR"}},
        {{"--tcp", "--pty"}, {"::SOCKET", "::INSTR"}},  // no port: the next option stays one
        {{"--delay-ms", "0", "--tcp"}, {"::SOCKET"}},
    };
    for (const Started& row : rows) {
        const std::string line = ::testing::PrintToString(row.args);
        EmulatorProcess emulator(row.args);
        ASSERT_EQ(emulator.resources().size(), row.resourceEnds.size()) << line;
        for (size_t i = 0; i < row.resourceEnds.size(); ++i) {
            const std::string& resource = emulator.resources()[i];
            const std::string& end = row.resourceEnds[i];
            EXPECT_GE(resource.size(), end.size()) << line;
            EXPECT_EQ(resource.substr(resource.size() - end.size()), end) << line;
        }
        EXPECT_EQ(emulator.Stop(), 0) << line;
    }
}

struct Refused {
    std::string args;     // as typed in a shell
    std::string message;  // the whole line on stderr
};

TEST(EmulatorCommandLine, WhatItCannotTakeIsNamed) {
    const std::vector<Refused> rows = {
        {"5025", "qmdc-emulator: unexpected argument 5025 (see --help)"},
        {"--tcp 5025 extra", "qmdc-emulator: unexpected argument extra (see --help)"},
        {"--tcp 70000", "qmdc-emulator: bad port for --tcp: 70000 (see --help)"},
        {"--tcp=x", "qmdc-emulator: bad port for --tcp: x (see --help)"},
        {"--tcp 12ab", "qmdc-emulator: bad port for --tcp: 12ab (see --help)"},
        {"--hislip 70000", "qmdc-emulator: bad port for --hislip: 70000 (see --help)"},
        {"--bogus", "qmdc-emulator: unknown option --bogus (see --help)"},
        {"--load", "qmdc-emulator: option --load needs a value (see --help)"},
        {"--hislip-init-timeout-ms 0",
         "qmdc-emulator: bad value for --hislip-init-timeout-ms: 0 (see --help)"},
    };
    for (const Refused& row : rows) {
        const std::string command =
            std::string("'") + QMDC_EMULATOR_PATH + "' " + row.args + " 2>&1 >/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, n);
        }
        const int waited = ::pclose(pipe);
        EXPECT_TRUE(WIFEXITED(waited) && WEXITSTATUS(waited) == 2) << row.args;
        EXPECT_EQ(output, row.message + "\n") << row.args;
    }
}

}  // namespace
}  // namespace qmdc::emu
