// Every export of the driver with every bad argument (sweep.h), in simulated
// sessions and in sessions on the emulator.
#include <gtest/gtest.h>

#include <cstdio>

#include "emulator_process.h"
#include "sweep.h"

namespace {

void SweepEveryExport(const SweepTarget& target) {
    ASSERT_GT(kSweepExportCount, 0u);
    int total = 0;
    for (size_t i = 0; i < kSweepExportCount; ++i) {
        int calls = 0;
        EXPECT_EQ(SweepOneExport(&kSweepExports[i], &target, &calls), 0) << kSweepExports[i].name;
        EXPECT_GT(calls, 0) << kSweepExports[i].name;
        total += calls;
    }
    std::printf("%s: %zu exports, %d calls\n", target.name, kSweepExportCount, total);
}

// The logical name of the sweep's configuration store simulates.
TEST(EveryExport, InSimulation) {
    const SweepTarget target{"simulation", "SweepSupply", "", 0, 0};
    SweepEveryExport(target);
}

// A direct read with nothing to read waits out the I/O timeout: a second is
// short for the sweep and long for an emulator on a busy machine.
TEST(EveryExport, OnTheEmulator) {
    qmdc::testing::EmulatorProcess emulator;
    const SweepTarget target{"emulator", emulator.resource().c_str(), "", 1, 1000};
    SweepEveryExport(target);
}

}  // namespace
