// *IDN? over VXI-11 to the emulator: through our VISA library, beside liblxi (lxi_send and
// lxi_receive, the client lxi-tools is built on) sending the same query to the same server;
// and the driver's QmDC_error_query over VXI-11. pyvisa-py's figure comes from
// bench/pyvisa_query_bench.py --only pyvisa-py:vxi11. Single-call latencies, median.
#include <benchmark/benchmark.h>
#include <lxi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "driver_latency.h"
#include "emulator_process.h"
#include "latency.h"
#include "visa.h"

namespace {

qmdc::testing::EmulatorProcess& Emulator() {
    static qmdc::testing::EmulatorProcess emulator({"--vxi11"});
    return emulator;
}

std::string Host() {
    const std::string& resource = Emulator().resource();
    const size_t start = resource.find("::") + 2;
    return resource.substr(start, resource.find("::", start) - start);
}

void BM_Vxi11VisaIdn(benchmark::State& state) {
    ViSession rm = 0, vi = 0;
    if (viOpenDefaultRM(&rm) < 0 ||
        viOpen(rm, Emulator().resource().c_str(), VI_NULL, 2000, &vi) < 0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    ViChar answer[256];
    qmdc_bench::MedianPerCall(state, 1, [&] {
        return viQueryf(vi, const_cast<ViChar*>("*IDN?\n"), const_cast<ViChar*>("%255t"), answer) >=
               VI_SUCCESS;
    });
    viClose(rm);
}

void BM_Vxi11LiblxiIdn(benchmark::State& state) {
    lxi_init();
    const int device = lxi_connect(Host().c_str(), 0, "inst0", 2000, VXI11);
    if (device < 0) {
        state.SkipWithError("liblxi cannot connect");
        return;
    }
    char answer[256];
    qmdc_bench::MedianPerCall(state, 1, [&] {
        return lxi_send(device, "*IDN?\n", 6, 2000) == 6 &&
               lxi_receive(device, answer, sizeof answer, 2000) > 0;
    });
    lxi_disconnect(device);
}

void BM_Vxi11DriverErrorQuery(benchmark::State& state) {
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");
    qmdc_bench::MedianErrorQuery(state, Emulator().resource());
}

}  // namespace

BENCHMARK(BM_Vxi11VisaIdn)->UseRealTime();
BENCHMARK(BM_Vxi11LiblxiIdn)->UseRealTime();
BENCHMARK(BM_Vxi11DriverErrorQuery)->UseRealTime();
BENCHMARK(BM_Vxi11VisaIdn)->UseRealTime()->Name("BM_Vxi11VisaIdn/again");
BENCHMARK_MAIN();
