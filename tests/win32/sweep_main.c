/* The argument sweep (tests/sweep) as a Windows program: every export with
 * every bad argument, in simulation (the logical name SweepSupply of
 * tests/sweep/sweep_store.xml, which IVICONFIGSERVERDEFAULT must name) and,
 * when a resource is given, on the emulator.
 *
 *   sweep <TCPIP resource of a running qmdc-emulator>
 *
 * Prints a line per failed check and one per target; returns 0 only when no
 * check failed. */
#include <stdio.h>

#include "sweep.h"

static int SweepEveryExport(const SweepTarget* target) {
    size_t i;
    int failures = 0, total = 0;
    for (i = 0; i < kSweepExportCount; ++i) {
        int calls = 0;
        const int failed = SweepOneExport(&kSweepExports[i], target, &calls);
        if (failed != 0 || calls == 0) {
            printf("FAILED: %s (%d checks, %d calls)\n", kSweepExports[i].name, failed, calls);
            failures += failed != 0 ? failed : 1;
        }
        total += calls;
    }
    printf("%s: %u exports, %d calls, %d failed\n", target->name, (unsigned)kSweepExportCount,
           total, failures);
    return failures;
}

int main(int argc, char* argv[]) {
    SweepTarget simulation = {"simulation", "SweepSupply", "", 0, 0};
    SweepTarget emulator = {"emulator", NULL, "", 1, 1000};
    int failures = SweepEveryExport(&simulation);
    if (argc > 1) {
        emulator.resource = argv[1];
        failures += SweepEveryExport(&emulator);
    }
    return failures == 0 ? 0 : 1;
}
