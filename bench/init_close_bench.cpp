// QmDC_InitWithOptions + QmDC_close, in simulation and against the emulator.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "QmDC.h"
#include "emulator_process.h"
#include "latency.h"

namespace {

void InitClose(benchmark::State& state, const char* resource, const char* options) {
    // Plain resource names resolve through the built-in store.
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");
    qmdc_bench::MedianPerCall(state, 1, [&] {
        ViSession vi = VI_NULL;
        return QmDC_InitWithOptions(const_cast<ViChar*>(resource), VI_TRUE, VI_FALSE, options,
                                    &vi) >= 0 &&
               QmDC_close(vi) >= 0;
    });
}

void BM_InitCloseSimulated(benchmark::State& state) {
    InitClose(state, "TCPIP0::sim::5025::SOCKET", "Simulate=1");
}

void BM_InitCloseEmulator(benchmark::State& state) {
    static qmdc::testing::EmulatorProcess emulator;
    InitClose(state, emulator.resource().c_str(), "");
}

void BM_InitCloseEmulatorWithStatusChecks(benchmark::State& state) {
    static qmdc::testing::EmulatorProcess emulator;
    InitClose(state, emulator.resource().c_str(), "QueryInstrStatus=1");
}

}  // namespace

BENCHMARK(BM_InitCloseSimulated);
BENCHMARK(BM_InitCloseEmulator)->UseRealTime();
BENCHMARK(BM_InitCloseEmulatorWithStatusChecks)->UseRealTime();
BENCHMARK_MAIN();
