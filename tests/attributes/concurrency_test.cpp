// Sessions used from several threads at once: each thread on its own session
// (nothing but the read-only tables is shared), and several threads on one
// session, with its lock held around each round and without (each call takes
// the lock itself). Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QmDC.h"
#include "driver_test_support.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 300;

// The current level a round sets: 0.5, 1.5, ... 6.5 A.
ViReal64 Level(int round) {
    return 0.5 + round % 7;
}

bool IsALevel(ViReal64 value) {
    for (int round = 0; round < 7; ++round)
        if (value == Level(round)) return true;
    return false;
}

// One round of the calls a test program makes, checked as it goes.
bool Round(ViSession vi, int round) {
    const ViReal64 level = Level(round);
    ViReal64 read = -1;
    ViInt32 count = 0;
    ViChar name[8];
    ViBoolean in = VI_FALSE;
    return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, level) == VI_SUCCESS &&
           QmDC_GetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, &read) == VI_SUCCESS &&
           read == level &&
           QmDC_ConfigureVoltageLevel(vi, round % 2 ? "CH1" : "", 12.0) == VI_SUCCESS &&
           QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, &count) == VI_SUCCESS &&
           count == 1 && QmDC_GetChannelName(vi, 1, sizeof name, name) == VI_SUCCESS &&
           QmDC_QueryOutputState(vi, "", QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, &in) == VI_SUCCESS &&
           QmDC_ConfigureVoltageLevel(vi, "CH9", 1.0) == QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER &&
           QmDC_InvalidateAllAttributes(vi) == VI_SUCCESS;
}

// One round of calls on a session other threads use at the same time without
// its lock: each check holds whatever the others do (a level read back is one
// that some thread set), so a call that does not take the session's lock for
// itself shows as a wrong status, a torn value or a crash.
bool UnlockedRound(ViSession vi, int round) {
    ViReal64 read = -1;
    ViInt32 count = 0;
    ViChar name[8] = "";
    ViBoolean in = VI_FALSE;
    const bool checked =
        QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, Level(round)) == VI_SUCCESS &&
        QmDC_GetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, &read) == VI_SUCCESS &&
        IsALevel(read) &&
        QmDC_ConfigureVoltageLevel(vi, round % 2 ? "CH1" : "", 12.0) == VI_SUCCESS &&
        QmDC_ConfigureOutputEnabled(vi, "", round % 3 != 0) == VI_SUCCESS &&
        QmDC_ConfigureCurrentLimit(vi, "", QMDC_VAL_CURRENT_TRIP, 1.0 + round % 5) == VI_SUCCESS &&
        QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, &count) == VI_SUCCESS &&
        count == 1 && QmDC_GetChannelName(vi, 1, sizeof name, name) == VI_SUCCESS &&
        std::string(name) == "CH1" &&
        QmDC_QueryOutputState(vi, "", QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, &in) == VI_SUCCESS &&
        QmDC_ConfigureVoltageLevel(vi, "CH9", 1.0) == QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER &&
        QmDC_GetChannelName(vi, 2, sizeof name, name) == QMDC_ERROR_INVALID_VALUE;
    if (round % 50 == 0) return checked && QmDC_InvalidateAllAttributes(vi) == VI_SUCCESS;
    return checked;
}

TEST(Concurrency, EachThreadOnASessionOfItsOwnOpenedAndClosedAsItGoes) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            for (int session = 0; session < 5; ++session) {
                ViSession vi = VI_NULL;
                if (QmDC_InitWithOptions(const_cast<ViChar*>("TCPIP0::sim::5025::SOCKET"), VI_TRUE,
                                         VI_FALSE, "Simulate=1", &vi) != VI_SUCCESS) {
                    ++failures;
                    continue;
                }
                for (int round = 0; round < kRounds / 5; ++round) failures += !Round(vi, round);
                failures += QmDC_close(vi) != VI_SUCCESS;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
}

// Runs kRounds rounds on each of kThreads threads at once; the failures
// the rounds counted.
int FailuresOnThreads(const std::function<int(int thread, int round)>& round) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) failures += round(t, r);
        });
    }
    for (auto& thread : threads) thread.join();
    return failures;
}

TEST(Concurrency, ThreadsShareOneSession) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    const int failures = FailuresOnThreads([vi](int t, int round) {
        // The set and the get of one thread are kept together.
        ViBoolean hasLock = VI_FALSE;
        int failed = QmDC_LockSession(vi, &hasLock) != VI_SUCCESS;
        failed += !Round(vi, round + t);
        failed += QmDC_UnlockSession(vi, &hasLock) != VI_SUCCESS;
        return failed;
    });
    EXPECT_EQ(failures, 0);
}

TEST(Concurrency, ThreadsShareOneSessionWithoutItsLock) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    const int failures =
        FailuresOnThreads([vi](int t, int round) { return !UnlockedRound(vi, round + t) ? 1 : 0; });
    EXPECT_EQ(failures, 0);
    ViInt32 count = 0;  // and the session is whole afterwards
    EXPECT_EQ(QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, &count), VI_SUCCESS);
    EXPECT_EQ(count, 1);
}

}  // namespace
