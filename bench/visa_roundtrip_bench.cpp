// A query round trip ("MEAS:VOLT?") to the emulator through our VISA library,
// beside a plain socket write and read of the same bytes to the same emulator.
#include <benchmark/benchmark.h>

#include "latency.h"
#include "plain_socket.h"
#include "visa.h"

namespace {

using qmdc_bench::Emulator;

void BM_VisaQuery(benchmark::State& state) {
    ViSession rm = 0, vi = 0;
    if (viOpenDefaultRM(&rm) < 0 ||
        viOpen(rm, Emulator().resource().c_str(), VI_NULL, 2000, &vi) < 0 ||
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) < 0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    ViReal64 volts = -1;
    qmdc_bench::MedianPerCall(
        state, 1, [&] { return viQueryf(vi, "MEAS:VOLT?\n", "%lf%*t", &volts) >= VI_SUCCESS; });
    viClose(rm);
}

void BM_PlainSocketQuery(benchmark::State& state) {
    const int fd = qmdc_bench::ConnectPlain();
    if (fd < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    qmdc_bench::MedianPerCall(state, 1,
                              [&] { return qmdc_bench::Exchange(fd, "MEAS:VOLT?\n", true); });
    close(fd);
}

}  // namespace

BENCHMARK(BM_VisaQuery)->UseRealTime();
BENCHMARK(BM_PlainSocketQuery)->UseRealTime();
BENCHMARK(BM_VisaQuery)->UseRealTime()->Name("BM_VisaQuery/again");
BENCHMARK_MAIN();
