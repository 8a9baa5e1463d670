// Sessions on TCPIP::host::inst0::INSTR (VXI-11) against the emulator's VXI-11 server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "test_support.h"

namespace {

using namespace visatest;
using Clock = std::chrono::steady_clock;
using qmdc::testing::EmulatorProcess;

std::string hostOf(const std::string& resource) {
    const size_t start = resource.find("::") + 2;
    return resource.substr(start, resource.find("::", start) - start);
}

std::string query(ViSession vi, const char* command, ViStatus* status) {
    ViChar answer[512] = "";
    *status = viQueryf(vi, const_cast<ViChar*>(command), const_cast<ViChar*>("%511[^\n]"), answer);
    return answer;
}

struct Vxi11Session {
    explicit Vxi11Session(std::vector<std::string> args = {}) : emulator(withVxi11(args)) {
        opened = rm.open(emulator.resource(), &vi);
    }
    static std::vector<std::string> withVxi11(std::vector<std::string> args) {
        args.insert(args.begin(), "--vxi11");
        return args;
    }
    EmulatorProcess emulator;
    ResourceManager rm;
    ViSession vi = VI_NULL;
    ViStatus opened = VI_ERROR_SYSTEM_ERROR;
};

const char* kIdn = "Orvane,Rack 30-70 QM,SN0001,1.2.3";

TEST(VisaVxi11, IdentityAndAttributes) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    const std::string host = hostOf(s.emulator.resource());
    ViStatus status;
    EXPECT_EQ(query(s.vi, "*IDN?\n", &status), kIdn);
    EXPECT_EQ(status, VI_SUCCESS);

    ViUInt16 intf = 0;
    ASSERT_EQ(viGetAttribute(s.vi, VI_ATTR_INTF_TYPE, &intf), VI_SUCCESS);
    EXPECT_EQ(intf, VI_INTF_TCPIP);
    const struct {
        ViAttr attr;
        std::string expected;
    } strings[] = {
        {VI_ATTR_RSRC_CLASS, "INSTR"},
        {VI_ATTR_RSRC_NAME, "TCPIP0::" + host + "::inst0::INSTR"},
        {VI_ATTR_TCPIP_ADDR, host},
        {VI_ATTR_TCPIP_HOSTNAME, host},
        {VI_ATTR_TCPIP_DEVICE_NAME, "inst0"},
    };
    for (const auto& row : strings) {
        ViChar text[256] = "";
        ASSERT_EQ(viGetAttribute(s.vi, row.attr, text), VI_SUCCESS) << std::hex << row.attr;
        EXPECT_EQ(text, row.expected);
    }
    ViUInt16 port = 0;
    EXPECT_EQ(viGetAttribute(s.vi, VI_ATTR_TCPIP_PORT, &port), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viClose(s.vi), VI_SUCCESS);
}

// A message longer than the server's maxRecvSize (1024) goes in several device_writes with
// END on the last only: the instrument runs it as one message, which END alone ends (no
// linefeed).
TEST(VisaVxi11, LongMessagesAndTermination) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    std::string command;
    while (command.size() < 5000) command += "*CLS;";
    command += "*IDN?";
    ViUInt32 sent = 0;
    ASSERT_EQ(viWrite(s.vi, reinterpret_cast<ViConstBuf>(command.data()),
                      static_cast<ViUInt32>(command.size()), &sent),
              VI_SUCCESS);
    EXPECT_EQ(sent, command.size());
    // A read ends at the instrument's END; with the termination character enabled, at it.
    ViByte buf[64];
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(s.vi, buf, 10, &got), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), std::string(kIdn, 10));
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), std::string(kIdn + 10) + "\n");
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TERMCHAR, ','), VI_SUCCESS);
    ASSERT_EQ(viPrintf(s.vi, const_cast<ViChar*>("*IDN?\n")), VI_SUCCESS);
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "Orvane,");
}

// viClear reaches the instrument (device_clear): the answer it held is gone.
TEST(VisaVxi11, ClearDropsTheInstrumentsAnswer) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    ASSERT_EQ(viPrintf(s.vi, const_cast<ViChar*>("*IDN?\n")), VI_SUCCESS);
    ASSERT_EQ(viClear(s.vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ViByte buf[64];
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    EXPECT_EQ(got, 0u);
}

// viClose from another thread ends a read that waits without a timeout: the server is told
// on the abort channel, and the reader's wait ends.
TEST(VisaVxi11, CloseWakesABlockedRead) {
    Vxi11Session s({"--no-reply", "*IDN?"});
    ASSERT_EQ(s.opened, VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
    ViStatus readStatus = VI_SUCCESS;
    std::thread reader([&] {
        ViStatus status;
        query(s.vi, "*IDN?\n", &status);
        readStatus = status;
    });
    std::this_thread::sleep_for(Ms(200));
    const auto start = Clock::now();
    EXPECT_EQ(viClose(s.vi), VI_SUCCESS);
    reader.join();
    EXPECT_LT(elapsedMs(start), 2000);
    EXPECT_EQ(readStatus, VI_ERROR_ABORT);
}

// Faults of the server: each row's first query fails as said, within its time, and (where
// the link survives) the next query gets its own answer.
TEST(VisaVxi11, ServerFaults) {
    const struct {
        const char* fault;
        std::vector<std::string> args;
        ViStatus first;
        bool firstIsIdn;  // when the first query succeeds
        bool linkSurvives;
    } rows[] = {
        {"no answer", {"--no-reply", "*IDN?"}, VI_ERROR_TMO, false, true},
        {"late answer", {"--delay-ms", "600"}, VI_ERROR_TMO, false, true},
        {"garbage answer", {"--garbage", "*IDN?"}, VI_SUCCESS, false, true},
        {"dropped connection", {"--drop-after", "1"}, VI_SUCCESS, true, false},
        {"record of 2 GiB", {"--bad-record", "huge"}, VI_ERROR_IO, false, false},
        {"record that is no reply", {"--bad-record", "junk"}, VI_ERROR_IO, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        Vxi11Session s(row.args);
        ASSERT_EQ(s.opened, VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
        const auto start = Clock::now();
        ViStatus status;
        const std::string first = query(s.vi, "*IDN?\n", &status);
        EXPECT_EQ(status, row.first);
        EXPECT_LT(elapsedMs(start), 1500);
        if (status == VI_SUCCESS) {
            EXPECT_EQ(first == kIdn, row.firstIsIdn) << first;
        }
        ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
        const std::string next = query(s.vi, "*OPC?\n", &status);
        if (row.linkSurvives) {
            EXPECT_EQ(status, VI_SUCCESS);
            EXPECT_EQ(next, "1");
        } else {
            EXPECT_LT(status, VI_SUCCESS);
        }
    }
}

TEST(VisaVxi11, OpenFailures) {
    EmulatorProcess emulator({"--vxi11"});
    const std::string host = hostOf(emulator.resource());
    ResourceManager rm;
    ViSession vi = VI_NULL;
    // The server refuses the link to a device it does not have.
    EXPECT_EQ(rm.open("TCPIP0::" + host + "::inst7::INSTR", &vi), VI_ERROR_RSRC_NFOUND);
    // No portmapper at that address.
    EXPECT_EQ(rm.open("TCPIP0::127.0.0.254::inst0::INSTR", &vi, 500), VI_ERROR_RSRC_NFOUND);
}

}  // namespace
