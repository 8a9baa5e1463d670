// Sessions of one process that take turns at an instrument through viLock: each holds the
// lock, asks, lets go, over and over, and none is ever refused while its timeout is far
// from over.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "test_support.h"

namespace {

using namespace visatest;

// One row per interface that has (or lacks) a lock of the instrument's own: VXI-11's
// device_lock, HiSLIP's AsyncLock, and a serial line, where the library's lock is all
// there is. The lock of the instrument must be gone when the next session's request
// reaches it, and the request must wait there for what is left of its timeout.
TEST(VisaLockTurns, FourSessionsTakeTurnsWithoutARefusal) {
    const struct {
        const char* interface;
        const char* emulatorArg;
    } rows[] = {
        {"VXI-11", "--vxi11"},
        {"HiSLIP", "--hislip"},
        {"serial", "--pty"},
    };
    constexpr int kSessions = 4;
    constexpr int kTurns = 25;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.interface);
        qmdc::testing::EmulatorProcess emulator({row.emulatorArg});
        std::atomic<int> turns{0};
        std::vector<std::string> failures(kSessions);
        std::vector<std::thread> threads;
        for (int n = 0; n < kSessions; ++n) {
            threads.emplace_back([&, n] {
                ResourceManager rm;
                ViSession vi = VI_NULL;
                ViStatus status = rm.open(emulator.resource(), &vi);
                if (status != VI_SUCCESS) {
                    failures[n] = "open " + std::to_string(status);
                    return;
                }
                viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000);
                for (int i = 0; i < kTurns && failures[n].empty(); ++i) {
                    status = viLock(vi, VI_EXCLUSIVE_LOCK, 5000, VI_NULL, VI_NULL);
                    if (status != VI_SUCCESS) {
                        failures[n] = "lock " + std::to_string(status);
                        break;
                    }
                    char answer[64] = "";
                    status = viQueryf(vi, const_cast<ViChar*>("*OPC?\n"),
                                      const_cast<ViChar*>("%63[^\n]%*[^\n]"), answer);
                    if (status < VI_SUCCESS || std::string(answer) != "1")
                        failures[n] = "query " + std::to_string(status) + " " + answer;
                    status = viUnlock(vi);
                    if (status != VI_SUCCESS && failures[n].empty())
                        failures[n] = "unlock " + std::to_string(status);
                    ++turns;
                }
                viClose(vi);
            });
        }
        for (std::thread& t : threads) t.join();
        for (int n = 0; n < kSessions; ++n) EXPECT_EQ(failures[n], "") << "session " << n;
        EXPECT_EQ(turns, kSessions * kTurns);
    }
}

}  // namespace
