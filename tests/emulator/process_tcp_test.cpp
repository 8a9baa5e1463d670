// The qmdc-emulator program over a real loopback TCP socket, started through
// EmulatorProcess: serving, client hand-over, fault injection and shutdown.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "emulator_process.h"
#include "line_channel.h"

namespace qmdc::emu {
namespace {

using qmdc::testing::EmulatorProcess;

LineChannel Connect(const EmulatorProcess& emulator) {
    auto channel = LineChannel::Open(emulator.resource());
    if (!channel) throw std::runtime_error("cannot connect to " + emulator.resource());
    return std::move(*channel);
}

TEST(EmulatorProcessTcp, ServesTheConfiguredInstrumentAndStopsCleanly) {
    EmulatorProcess emulator({"--model", "Bench 50-20 QM", "--serial", "X1", "--firmware=9.9"});
    EXPECT_EQ(emulator.resource().rfind("TCPIP0::127.0.0.1::", 0), 0u) << emulator.resource();
    EXPECT_EQ(emulator.resource().substr(emulator.resource().size() - 8), "::SOCKET");
    EXPECT_EQ(emulator.resources().size(), 1u);
    LineChannel client = Connect(emulator);
    EXPECT_EQ(client.Query("*IDN?"), "Orvane,Bench 50-20 QM,X1,9.9");
    ASSERT_TRUE(client.Write("VOLT 12.5\r\n"));
    EXPECT_EQ(client.Query("VOLT?;POW?"), "12.5;600");
    EXPECT_TRUE(emulator.running());
    EXPECT_EQ(emulator.Stop(), 0);
    EXPECT_FALSE(emulator.running());
    EXPECT_TRUE(client.WaitForClose());
}

TEST(EmulatorProcessTcp, InterruptSignalAlsoEndsWithStatusZero) {
    EmulatorProcess emulator;
    LineChannel client = Connect(emulator);
    ASSERT_EQ(::kill(emulator.pid(), SIGINT), 0);
    EXPECT_TRUE(client.WaitForClose());
    EXPECT_EQ(emulator.Stop(), 0);
}

TEST(EmulatorProcessTcp, NextClientIsServedAfterThePreviousCloses) {
    EmulatorProcess emulator;
    auto first = std::make_unique<LineChannel>(Connect(emulator));
    LineChannel second = Connect(emulator);  // waits in the listen backlog
    EXPECT_EQ(first->Query("VOLT 3;VOLT?"), "3");
    ASSERT_TRUE(second.Write("VOLT?\n"));
    EXPECT_FALSE(second.ReadLine(200)) << "one client at a time";
    first.reset();
    EXPECT_EQ(second.ReadLine(), "3") << "the instrument state outlives the connection";
}

TEST(EmulatorProcessTcp, UnansweredQueryLeavesTheClientToTimeOut) {
    EmulatorProcess emulator({"--no-reply", "*opc?", "--no-reply", "MEASure:VOLTage?"});
    LineChannel client = Connect(emulator);
    EXPECT_FALSE(client.Query("*OPC?", 300));
    EXPECT_FALSE(client.Query("MEAS:VOLT?", 300));
    EXPECT_EQ(client.Query("*IDN?"), "Orvane,Rack 30-70 QM,SN0001,1.2.3");
    EXPECT_EQ(client.Query("VOLT?;*OPC?"), "0") << "only the named query is swallowed";
}

TEST(EmulatorProcessTcp, DropAfterClosesTheConnectionAndServesTheNext) {
    EmulatorProcess emulator({"--drop-after", "2"});
    {
        LineChannel client = Connect(emulator);
        EXPECT_EQ(client.Query("*OPC?"), "1");
        EXPECT_EQ(client.Query("VOLT 2;VOLT?"), "2");
        EXPECT_TRUE(client.WaitForClose());
    }
    LineChannel next = Connect(emulator);
    EXPECT_EQ(next.Query("VOLT?"), "2");
}

TEST(EmulatorProcessTcp, RepliesCanBeSplitAndLate) {
    EmulatorProcess emulator({"--split", "3", "--delay-ms", "50"});
    LineChannel client = Connect(emulator);
    ASSERT_TRUE(client.Write("*IDN?\n"));
    EXPECT_FALSE(client.ReadLine(5)) << "not before the delay";
    EXPECT_EQ(client.ReadLine(), "Orvane,Rack 30-70 QM,SN0001,1.2.3");
}

// Real instruments end their answers in LF or CR LF.
TEST(EmulatorProcessTcp, AnswersEndInTheLineEndingChosen) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""}, {{"--eol", "lf"}, ""}, {{"--eol=crlf"}, "\r"}, {{"--eol", "crlf"}, "\r"}};
    for (const auto& [args, cr] : cases) {
        EmulatorProcess emulator(args);
        LineChannel client = Connect(emulator);
        EXPECT_EQ(client.Query("*IDN?"), "Orvane,Rack 30-70 QM,SN0001,1.2.3" + cr);
        EXPECT_EQ(client.Query("VOLT 2;VOLT?;OUTP?"), "2;0" + cr);
    }
}

TEST(EmulatorProcessTcp, RepliesCanBeJunkOrOversized) {
    EmulatorProcess emulator({"--garbage", "MEAS:VOLT?", "--oversize", "SYST:ERR?"});
    LineChannel client = Connect(emulator);
    const auto junk = client.Query("MEAS:VOLT?");
    ASSERT_TRUE(junk);
    EXPECT_NE(junk->find("garbage"), std::string::npos);
    EXPECT_NE(junk->find('\x01'), std::string::npos);
    const auto huge = client.Query("SYST:ERR?", 10000);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->size(), 100000u);
}

TEST(EmulatorProcessTcp, EventStatusCanBeForcedOrTiedToACommand) {
    EmulatorProcess emulator({"--esr", "4", "--esr-after", "volt=16"});
    LineChannel client = Connect(emulator);
    EXPECT_EQ(client.Query("*ESR?"), "4");
    EXPECT_EQ(client.Query("*ESR?"), "4");
    ASSERT_TRUE(client.Write("VOLT 1\n"));
    EXPECT_EQ(client.Query("*ESR?"), "20");
    EXPECT_EQ(client.Query("SYST:ERR?"), "-200,\"Execution error\"");
    EXPECT_EQ(client.Query("*ESR?"), "4");
}

TEST(EmulatorProcessTcp, SelfTestFailureIsReported) {
    EmulatorProcess emulator({"--tst-fail"});
    LineChannel client = Connect(emulator);
    EXPECT_EQ(client.Query("*TST?"), "1");
    EXPECT_EQ(client.Query("TEST:SELF:QUER?"), "Selftest failed");
}

TEST(EmulatorProcessTcp, BadCommandLinesStopTheProgram) {
    EXPECT_THROW(EmulatorProcess({"--no-reply", "NO:SUCH?"}), std::runtime_error);
    EXPECT_THROW(EmulatorProcess({"--no-reply", "VOLT"}), std::runtime_error);  // not a query
    EXPECT_THROW(EmulatorProcess({"--load", "-1"}), std::runtime_error);
    EXPECT_THROW(EmulatorProcess({"--bogus"}), std::runtime_error);
    EXPECT_THROW(EmulatorProcess({"--eol", "cr"}), std::runtime_error);
    EmulatorProcess help({"--help"});  // the usage text is all it prints
    EXPECT_EQ(help.resource(), "Usage: qmdc-emulator [options]");
    EXPECT_EQ(help.Stop(), 0);
}

}  // namespace
}  // namespace qmdc::emu
