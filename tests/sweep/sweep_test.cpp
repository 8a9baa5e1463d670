// Every export of the driver with every bad argument (sweep.h), in simulated
// sessions and in sessions on the emulator.
#include <gtest/gtest.h>

#include "emulator_process.h"
#include "sweep.h"

namespace {

void SweepEveryExport(const SweepTarget& target) {
    ASSERT_GT(kSweepExportCount, 0u);
    for (size_t i = 0; i < kSweepExportCount; ++i) {
        int calls = 0;
        EXPECT_EQ(SweepOneExport(&kSweepExports[i], &target, &calls), 0) << kSweepExports[i].name;
        EXPECT_GT(calls, 0) << kSweepExports[i].name;
    }
}

// The logical name of the sweep's configuration store simulates.
TEST(Sweep, EveryExportInSimulation) {
    const SweepTarget target{"simulation", "SweepSupply", "", 0, 0};
    SweepEveryExport(target);
}

// A short I/O timeout: a direct read with nothing to read ends quickly.
TEST(Sweep, EveryExportOnTheEmulator) {
    qmdc::testing::EmulatorProcess emulator;
    const SweepTarget target{"emulator", emulator.resource().c_str(), "", 1, 300};
    SweepEveryExport(target);
}

}  // namespace
