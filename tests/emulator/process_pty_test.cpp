// The qmdc-emulator program over a real pseudo-terminal, opened the way a serial client
// opens it (raw mode).
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "emulator_process.h"
#include "line_channel.h"

namespace qmdc::emu {
namespace {

using qmdc::testing::EmulatorProcess;

LineChannel Open(const std::string& resource) {
    auto channel = LineChannel::Open(resource);
    if (!channel) throw std::runtime_error("cannot open " + resource);
    return std::move(*channel);
}

TEST(EmulatorProcessPty, ServesLinesOverTheTerminal) {
    EmulatorProcess emulator({"--pty"});
    ASSERT_EQ(emulator.resources().size(), 1u);
    EXPECT_EQ(emulator.resource().rfind("ASRL/dev/pts/", 0), 0u) << emulator.resource();
    LineChannel client = Open(emulator.resource());
    EXPECT_EQ(client.Query("*IDN?"), "Orvane,Rack 30-70 QM,SN0001,1.2.3");
    EXPECT_EQ(client.Query("VOLT 3.25;VOLT?"), "3.25");
    ASSERT_TRUE(client.Write("BAD;*OPC?\n"));  // the rest of the line is dropped
    EXPECT_EQ(client.Query(":SYST:ERR?"), "-113,\"Undefined header\"");
}

TEST(EmulatorProcessPty, KeepsTheTerminalAcrossClients) {
    EmulatorProcess emulator({"--pty"});
    {
        LineChannel first = Open(emulator.resource());
        EXPECT_EQ(first.Query("VOLT 4;*OPC?"), "1");
    }
    LineChannel second = Open(emulator.resource());
    EXPECT_EQ(second.Query("VOLT?"), "4");
}

TEST(EmulatorProcessPty, BothTransportsDriveOneInstrument) {
    EmulatorProcess emulator({"--pty", "--tcp"});
    ASSERT_EQ(emulator.resources().size(), 2u);
    EXPECT_EQ(emulator.resources()[0].rfind("TCPIP0::", 0), 0u);
    EXPECT_EQ(emulator.resources()[1].rfind("ASRL/dev/pts/", 0), 0u);
    LineChannel tcp = Open(emulator.resources()[0]);
    LineChannel serial = Open(emulator.resources()[1]);
    EXPECT_EQ(tcp.Query("CURR 1.5;*OPC?"), "1");
    EXPECT_EQ(serial.Query("CURR?"), "1.5");
}

TEST(EmulatorProcessPty, DropAfterSilencesTheLineUntilTheClientLeaves) {
    EmulatorProcess emulator({"--pty", "--drop-after", "1"});
    {
        LineChannel client = Open(emulator.resource());
        EXPECT_EQ(client.Query("*OPC?"), "1");
        EXPECT_FALSE(client.Query("*OPC?", 200));
    }
    // The emulator learns of the hang-up only if the terminal stays closed until it looks;
    // a client that reopens sooner still finds the line silent. Nothing tells a client when
    // the emulator has looked, so reopen with a growing gap until it is served.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::optional<std::string> answer;
    for (int gapMs = 5; !answer && std::chrono::steady_clock::now() < deadline; gapMs *= 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        LineChannel next = Open(emulator.resource());
        answer = next.Query("*OPC?", 200);
    }
    EXPECT_EQ(answer, "1");
}

}  // namespace
}  // namespace qmdc::emu
