// Attributes of a real instrument (the emulator, over loopback TCP) through
// the driver, beside a plain socket that sends the same bytes and reads the
// same answers: the floor any driver stands on. Single-call latencies, median.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "QmDC.h"
#include "latency.h"
#include "plain_socket.h"

namespace {

using qmdc_bench::Emulator;
using qmdc_bench::Exchange;

ViSession Open() {
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");
    ViSession vi = VI_NULL;
    const std::string resource = Emulator().resource();
    if (QmDC_InitWithOptions(const_cast<ViChar*>(resource.c_str()), VI_FALSE, VI_FALSE, "", &vi) <
        0) {
        return VI_NULL;
    }
    return vi;
}

void BM_DriverGetVoltageLevel(benchmark::State& state) {
    const ViSession vi = Open();
    ViReal64 volts = 0;
    qmdc_bench::MedianPerCall(state, 1, [&] {
        return QmDC_GetAttributeViReal64(vi, "", QMDC_ATTR_VOLTAGE_LEVEL, &volts) == VI_SUCCESS;
    });
    QmDC_close(vi);
}

void BM_SocketGetVoltageLevel(benchmark::State& state) {
    const int fd = qmdc_bench::ConnectPlain();
    qmdc_bench::MedianPerCall(state, 1, [&] { return Exchange(fd, "VOLT?\n", true); });
    close(fd);
}

// A Set sends one line and waits for nothing; the emulator's answer to the
// query that follows each batch keeps the two in step.
void BM_DriverSetVoltageLevel(benchmark::State& state) {
    const ViSession vi = Open();
    qmdc_bench::MedianPerCall(state, 1, [&] {
        return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_VOLTAGE_LEVEL, 12.5) == VI_SUCCESS;
    });
    ViReal64 volts = 0;
    QmDC_GetAttributeViReal64(vi, "", QMDC_ATTR_VOLTAGE_LEVEL, &volts);
    QmDC_close(vi);
}

void BM_SocketSetVoltageLevel(benchmark::State& state) {
    const int fd = qmdc_bench::ConnectPlain();
    qmdc_bench::MedianPerCall(state, 1, [&] { return Exchange(fd, "VOLT 12.5\n", false); });
    Exchange(fd, "VOLT?\n", true);
    close(fd);
}

void BM_DriverErrorQuery(benchmark::State& state) {
    const ViSession vi = Open();
    ViInt32 code = 0;
    ViChar message[256];
    qmdc_bench::MedianPerCall(state, 1,
                              [&] { return QmDC_error_query(vi, &code, message) == VI_SUCCESS; });
    QmDC_close(vi);
}

void BM_SocketErrorQuery(benchmark::State& state) {
    const int fd = qmdc_bench::ConnectPlain();
    qmdc_bench::MedianPerCall(state, 1, [&] { return Exchange(fd, ":SYST:ERR?\n", true); });
    close(fd);
}

}  // namespace

// Each pair runs twice, interleaved, so that drift of the machine shows.
BENCHMARK(BM_SocketGetVoltageLevel)->UseRealTime();
BENCHMARK(BM_DriverGetVoltageLevel)->UseRealTime();
BENCHMARK(BM_SocketSetVoltageLevel)->UseRealTime();
BENCHMARK(BM_DriverSetVoltageLevel)->UseRealTime();
BENCHMARK(BM_SocketErrorQuery)->UseRealTime();
BENCHMARK(BM_DriverErrorQuery)->UseRealTime();
BENCHMARK(BM_SocketGetVoltageLevel)->UseRealTime()->Name("BM_SocketGetVoltageLevel/again");
BENCHMARK(BM_DriverGetVoltageLevel)->UseRealTime()->Name("BM_DriverGetVoltageLevel/again");
BENCHMARK_MAIN();
