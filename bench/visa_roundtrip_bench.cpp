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

// The same question as pyvisa asks it: viWrite, then viRead into a buffer of
// pyvisa's chunk size, ending at the termination character. With the
// argument 1 the session holds an exclusive lock, so that no call needs to
// ask whether another process holds one (the difference is what that costs).
void BM_VisaWriteRead(benchmark::State& state) {
    ViSession rm = 0, vi = 0;
    const ViAccessMode mode = state.range(0) != 0 ? VI_EXCLUSIVE_LOCK : VI_NO_LOCK;
    if (viOpenDefaultRM(&rm) < 0 ||
        viOpen(rm, Emulator().resource().c_str(), mode, 2000, &vi) < 0 ||
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) < 0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    static ViByte answer[20480];
    const ViByte question[] = "MEAS:VOLT?\n";
    qmdc_bench::MedianPerCall(state, 1, [&] {
        ViUInt32 n = 0;
        return viWrite(vi, question, sizeof question - 1, &n) == VI_SUCCESS &&
               viRead(vi, answer, sizeof answer, &n) == VI_SUCCESS_TERM_CHAR;
    });
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
BENCHMARK(BM_VisaWriteRead)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_PlainSocketQuery)->UseRealTime();
BENCHMARK(BM_VisaQuery)->UseRealTime()->Name("BM_VisaQuery/again");
BENCHMARK_MAIN();
