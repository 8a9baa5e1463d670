// The driver against an emulator that answers late, stalls half-way through an
// answer, hangs or closes the connection: a query gets its own answer or
// fails, never another one's; close ends a call stuck in I/O; a command sent
// after the instrument hung up fails.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "instrument_support.h"
#include "visa.h"

using qmdc_test::ErrorDescription;

namespace {

constexpr int kLateMs = 200;  // the emulator's pause
constexpr ViInt32 kShortTimeoutMs = 50;
constexpr ViInt32 kLongTimeoutMs = 5000;

ViStatus GetReal(ViSession vi, ViAttr id, ViReal64* value) {
    *value = -1;
    return QmDC_GetAttributeViReal64(vi, "", id, value);
}

struct LateAnswerCase {
    const char* name;
    const char* transport;  // "--tcp" or "--pty"
    std::vector<std::string> fault;
    const char* options;
};

void PrintTo(const LateAnswerCase& c, std::ostream* out) {
    *out << c.name;
}

class LateAnswer : public testing::TestWithParam<LateAnswerCase> {};

// VOLT? times out; its answer comes later (whole, or its first bytes before
// the timeout and the rest after). Neither the next query nor a status check
// may take it for its own answer, whatever its timeout.
TEST_P(LateAnswer, NeverTakenForTheNextQuerysAnswer) {
    const LateAnswerCase& c = GetParam();
    std::vector<std::string> args = {c.transport};
    args.insert(args.end(), c.fault.begin(), c.fault.end());
    qmdc::testing::EmulatorProcess emulator(args);
    qmdc_test::Session s(emulator.resource(), c.options);
    ASSERT_EQ(s.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = s.vi();
    ASSERT_GE(QmDC_ConfigureVoltageLevel(vi, "", 1.5), 0) << ErrorDescription(vi);
    ASSERT_GE(QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_OVP_LIMIT, 20.0), 0);

    ASSERT_EQ(QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, kShortTimeoutMs), 0);
    ViReal64 value = 0;
    EXPECT_EQ(GetReal(vi, QMDC_ATTR_VOLTAGE_LEVEL, &value), VI_ERROR_TMO);
    // Still late: fails, or (had the answers come) gives its own value. The
    // second try comes when the stalled identity has begun to arrive.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kLateMs + 50));
        if (GetReal(vi, QMDC_ATTR_OVP_LIMIT, &value) >= 0) {
            EXPECT_EQ(value, 20.0);
        }
    }

    ASSERT_EQ(QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, kLongTimeoutMs), 0);
    EXPECT_EQ(QmDC_ConfigureVoltageLevel(vi, "", 1.5), VI_SUCCESS) << ErrorDescription(vi);
    EXPECT_GE(GetReal(vi, QMDC_ATTR_OVP_LIMIT, &value), 0);
    EXPECT_EQ(value, 20.0);
    EXPECT_GE(GetReal(vi, QMDC_ATTR_VOLTAGE_LEVEL, &value), 0);
    EXPECT_EQ(value, 1.5);
}

const std::string kLate = std::to_string(kLateMs);
const std::vector<std::string> kDelay = {"--delay-ms", kLate};
const std::vector<std::string> kStall = {"--delay-ms", kLate, "--stall-after", "2"};

INSTANTIATE_TEST_SUITE_P(
    TcpAndPty, LateAnswer,
    testing::Values(LateAnswerCase{"TcpDelay", "--tcp", kDelay, "Cache=0"},
                    LateAnswerCase{"TcpStall", "--tcp", kStall, "Cache=0"},
                    LateAnswerCase{"TcpDelayStatus", "--tcp", kDelay, "Cache=0,QueryInstrStatus=1"},
                    LateAnswerCase{"TcpStallStatus", "--tcp", kStall, "Cache=0,QueryInstrStatus=1"},
                    LateAnswerCase{"PtyDelay", "--pty", kDelay, "Cache=0"},
                    LateAnswerCase{"PtyStall", "--pty", kStall, "Cache=0"},
                    LateAnswerCase{"PtyDelayStatus", "--pty", kDelay, "Cache=0,QueryInstrStatus=1"},
                    LateAnswerCase{"PtyStallStatus", "--pty", kStall,
                                   "Cache=0,QueryInstrStatus=1"}),
    [](const testing::TestParamInfo<LateAnswerCase>& info) { return info.param.name; });

}  // namespace

namespace {

// A call waiting forever for an answer that never comes ends as soon as
// another thread closes the session; a thread that holds the session lock
// keeps it until it unlocks, and its calls fail rather than touch a closed
// connection.
TEST(CloseDuringIo, WakesAStuckCallAndWaitsForLockHolders) {
    using namespace std::chrono_literals;
    qmdc::testing::EmulatorProcess emulator({"--no-reply", "VOLT?"});
    qmdc_test::Session s(emulator.resource(), "Cache=0");
    ASSERT_EQ(s.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = s.Release();
    ASSERT_EQ(QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, -1), VI_SUCCESS);

    auto stuck = std::async(std::launch::async, [vi] {
        ViReal64 value = 0;
        return GetReal(vi, QMDC_ATTR_VOLTAGE_LEVEL, &value);
    });
    EXPECT_EQ(stuck.wait_for(300ms), std::future_status::timeout) << "VOLT? is never answered";
    auto closing = std::async(std::launch::async, [vi] { return QmDC_close(vi); });
    const bool woken = stuck.wait_for(5s) == std::future_status::ready;
    const bool closed = closing.wait_for(5s) == std::future_status::ready;
    if (!woken || !closed) emulator.Stop();  // frees both, to report rather than hang
    EXPECT_TRUE(woken && closed);
    EXPECT_EQ(stuck.get(), VI_ERROR_ABORT);
    EXPECT_EQ(closing.get(), VI_SUCCESS);
}

TEST(CloseDuringIo, WaitsForALockHolder) {
    using namespace std::chrono_literals;
    qmdc::testing::EmulatorProcess emulator;
    qmdc_test::Session s(emulator.resource(), "Cache=0");
    ASSERT_EQ(s.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = s.Release();
    ViBoolean held = VI_FALSE;
    ASSERT_EQ(QmDC_LockSession(vi, &held), VI_SUCCESS);

    auto closing = std::async(std::launch::async, [vi] { return QmDC_close(vi); });
    EXPECT_EQ(closing.wait_for(300ms), std::future_status::timeout) << "the lock is held";
    // The holder's calls fail cleanly once close has ended the session's I/O
    // (success only if the closing thread has not got that far yet).
    ViReal64 value = 0;
    const ViStatus during = GetReal(vi, QMDC_ATTR_VOLTAGE_LEVEL, &value);
    EXPECT_TRUE(during >= 0 || during == VI_ERROR_ABORT || during == VI_ERROR_INV_OBJECT) << during;
    EXPECT_EQ(QmDC_UnlockSession(vi, &held), VI_SUCCESS);
    EXPECT_EQ(closing.get(), VI_SUCCESS);
    EXPECT_EQ(GetReal(vi, QMDC_ATTR_VOLTAGE_LEVEL, &value), QMDC_ERROR_INVALID_SESSION_HANDLE);
}

// The instrument hangs up after answering *IDN?: the next command fails at
// once instead of being reported as sent.
TEST(PeerClosed, FirstCommandAfterTheCloseFails) {
    qmdc::testing::EmulatorProcess emulator({"--drop-after", "1"});
    qmdc_test::Session s(emulator.resource());
    ASSERT_EQ(s.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(QmDC_ConfigureVoltageLevel(s.vi(), "", 1.0), VI_ERROR_CONN_LOST);
}

}  // namespace
