// The attribute engine in simulation, where nothing but the driver's own work
// is timed: a cached Get, a plain and a per-channel Set, a framed call that
// does nothing, the selector shortcut against the full resolution, and one
// against two threads on two sessions.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "QmDC.h"
#include "kiln/repcap/resolve_selector.h"
#include "kiln/session/call_frame.h"
#include "latency.h"

namespace {

constexpr int kBatch = 100;

ViSession Simulated() {
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");
    ViSession vi = VI_NULL;
    if (QmDC_InitWithOptions(const_cast<ViChar*>("TCPIP0::sim::5025::SOCKET"), VI_FALSE, VI_FALSE,
                             "Simulate=1", &vi) < 0) {
        return VI_NULL;
    }
    return vi;
}

// A simulated Get of a stored attribute: it answers from the store. With
// more threads, each works on a session of its own.
void BM_CachedGet(benchmark::State& state) {
    const ViSession vi = Simulated();
    QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, 1.25);
    ViReal64 value = 0;
    qmdc_bench::MedianPerCall(state, kBatch, [&] {
        return QmDC_GetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, &value) == VI_SUCCESS;
    });
    QmDC_close(vi);
}

// A Set of an attribute without channels, and one of a channel attribute,
// with the common selectors.
void BM_PlainSet(benchmark::State& state) {
    const ViSession vi = Simulated();
    qmdc_bench::MedianPerCall(state, kBatch, [&] {
        return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, 1.5) == VI_SUCCESS;
    });
    QmDC_close(vi);
}

void BM_PerChannelSet(benchmark::State& state, const char* channel) {
    const ViSession vi = Simulated();
    qmdc_bench::MedianPerCall(state, kBatch, [&] {
        return QmDC_SetAttributeViReal64(vi, channel, QMDC_ATTR_VOLTAGE_LEVEL, 12.0) == VI_SUCCESS;
    });
    QmDC_close(vi);
}

// Lookup, lock and unlock only.
void BM_FramedNoOp(benchmark::State& state) {
    const ViSession vi = Simulated();
    qmdc_bench::MedianPerCall(state, kBatch,
                              [&] { return QmDC_InvalidateAllAttributes(vi) == VI_SUCCESS; });
    QmDC_close(vi);
}

void BM_ResolveSelector(benchmark::State& state, const char* selector, bool full,
                        ViStatus expected) {
    const ViSession vi = Simulated();
    kiln::DriverSession* session = kiln::FindSession(vi);
    kiln::ChannelList channels;
    qmdc_bench::MedianPerCall(state, kBatch, [&] {
        const ViStatus status = full ? kiln::ResolveSelectorFully(session, selector, channels, true)
                                     : kiln::ResolveSelector(session, selector, channels, true);
        return status == expected;
    });
    QmDC_close(vi);
}

}  // namespace

BENCHMARK(BM_CachedGet)->Threads(1)->UseRealTime();
BENCHMARK(BM_CachedGet)->Threads(2)->UseRealTime();
BENCHMARK(BM_PlainSet);
BENCHMARK_CAPTURE(BM_PerChannelSet, empty, "");
BENCHMARK_CAPTURE(BM_PerChannelSet, CH1, "CH1");
BENCHMARK(BM_FramedNoOp);
BENCHMARK_CAPTURE(BM_ResolveSelector, shortcut_CH1, "CH1", false, VI_SUCCESS);
BENCHMARK_CAPTURE(BM_ResolveSelector, full_CH1, "CH1", true, VI_SUCCESS);
BENCHMARK_CAPTURE(BM_ResolveSelector, full_empty_level, "[A:CH1", true, VI_SUCCESS);
// Two billion names: the second is no channel, and that is the answer.
BENCHMARK_CAPTURE(BM_ResolveSelector, full_range_2e9, "CH1-CH2000000000", true,
                  QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER);
BENCHMARK_MAIN();
