// Attributes of a real instrument (the emulator, over loopback TCP) through
// the driver, beside a plain socket that sends the same bytes and reads the
// same answers: the floor any driver stands on. Single-call latencies, median.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "emulator_process.h"
#include "latency.h"

namespace {

qmdc::testing::EmulatorProcess& Emulator() {
    static qmdc::testing::EmulatorProcess emulator;
    return emulator;
}

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

int Connect() {
    const std::string resource = Emulator().resource();  // TCPIP0::127.0.0.1::<port>::SOCKET
    const auto end = resource.rfind("::");
    const auto start = resource.rfind("::", end - 1) + 2;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port =
        htons(static_cast<uint16_t>(std::atoi(resource.substr(start, end - start).c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The plain socket: write the bytes, and for a query read to the line feed.
bool Exchange(int fd, const char* bytes, bool answer) {
    const size_t length = std::strlen(bytes);
    if (write(fd, bytes, length) != static_cast<ssize_t>(length)) return false;
    if (!answer) return true;
    char reply[512];
    size_t have = 0;
    while (have == 0 || reply[have - 1] != '\n') {
        const ssize_t n = read(fd, reply + have, sizeof reply - have);
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
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
    const int fd = Connect();
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
    const int fd = Connect();
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
    const int fd = Connect();
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
