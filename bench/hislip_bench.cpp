// HiSLIP against the raw socket, on one emulator serving both: an "*IDN?"
// round trip through our VISA over each, beside a plain socket sending the
// same bytes (the floor), the driver's QmDC_error_query over each, and
// HiSLIP's status byte with service requests off and on.
#include <benchmark/benchmark.h>

#include <string>

#include "QmDC.h"
#include "driver_latency.h"
#include "latency.h"
#include "plain_socket.h"
#include "visa.h"

namespace {

qmdc::testing::EmulatorProcess& Both() {
    static qmdc::testing::EmulatorProcess emulator({"--tcp", "--hislip"});
    return emulator;
}
const std::string& SocketResource() {
    return Both().resources().front();
}
const std::string& HislipResource() {
    return Both().resources().back();
}

void BM_PlainSocketIdn(benchmark::State& state) {
    const int fd = qmdc_bench::ConnectPlain(SocketResource());
    if (fd < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    qmdc_bench::MedianPerCall(state, 1, [&] { return qmdc_bench::Exchange(fd, "*IDN?\n", true); });
    close(fd);
}

void VisaIdn(benchmark::State& state, const std::string& resource) {
    ViSession rm = 0, vi = 0;
    if (viOpenDefaultRM(&rm) < 0 || viOpen(rm, resource.c_str(), VI_NULL, 2000, &vi) < 0 ||
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) < 0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    char answer[256];
    qmdc_bench::MedianPerCall(
        state, 1, [&] { return viQueryf(vi, "*IDN?\n", "%255t", answer) >= VI_SUCCESS; });
    viClose(rm);
}

void BM_VisaSocketIdn(benchmark::State& state) {
    VisaIdn(state, SocketResource());
}
void BM_VisaHislipIdn(benchmark::State& state) {
    VisaIdn(state, HislipResource());
}
void BM_ErrorQuerySocket(benchmark::State& state) {
    qmdc_bench::MedianErrorQuery(state, SocketResource());
}
void BM_ErrorQueryHislip(benchmark::State& state) {
    qmdc_bench::MedianErrorQuery(state, HislipResource());
}

// viReadSTB over the asynchronous channel; with service requests enabled (1)
// each exchange first takes the channel from the watcher thread.
void BM_VisaHislipReadStb(benchmark::State& state) {
    ViSession rm = 0, vi = 0;
    if (viOpenDefaultRM(&rm) < 0 || viOpen(rm, HislipResource().c_str(), VI_NULL, 2000, &vi) < 0 ||
        (state.range(0) != 0 && viEnableEvent(vi, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL) < 0)) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    ViUInt16 stb = 0;
    qmdc_bench::MedianPerCall(state, 1, [&] { return viReadSTB(vi, &stb) == VI_SUCCESS; });
    viClose(rm);
}

}  // namespace

BENCHMARK(BM_PlainSocketIdn)->UseRealTime();
BENCHMARK(BM_VisaSocketIdn)->UseRealTime();
BENCHMARK(BM_VisaHislipIdn)->UseRealTime();
BENCHMARK(BM_PlainSocketIdn)->UseRealTime()->Name("BM_PlainSocketIdn/again");
BENCHMARK(BM_VisaHislipIdn)->UseRealTime()->Name("BM_VisaHislipIdn/again");
BENCHMARK(BM_ErrorQuerySocket)->UseRealTime();
BENCHMARK(BM_ErrorQueryHislip)->UseRealTime();
BENCHMARK(BM_VisaHislipReadStb)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK_MAIN();
