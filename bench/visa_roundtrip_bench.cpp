// A query round trip ("MEAS:VOLT?") to the emulator through our VISA library,
// beside a plain socket write and read of the same bytes to the same emulator.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "emulator_process.h"
#include "visa.h"

namespace {

qmdc::testing::EmulatorProcess& Emulator() {
    static qmdc::testing::EmulatorProcess emulator;
    return emulator;
}

int PortOf(const std::string& resource) {
    // TCPIP0::127.0.0.1::<port>::SOCKET
    const auto end = resource.rfind("::");
    const auto start = resource.rfind("::", end - 1) + 2;
    return std::atoi(resource.substr(start, end - start).c_str());
}

void BM_VisaQuery(benchmark::State& state) {
    ViSession rm = 0, vi = 0;
    if (viOpenDefaultRM(&rm) < 0 ||
        viOpen(rm, Emulator().resource().c_str(), VI_NULL, 2000, &vi) < 0 ||
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) < 0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    for (auto _ : state) {
        ViReal64 volts = -1;
        if (viQueryf(vi, "MEAS:VOLT?\n", "%lf%*t", &volts) < 0) {
            state.SkipWithError("query failed");
            break;
        }
        benchmark::DoNotOptimize(volts);
    }
    viClose(rm);
}

void BM_PlainSocketQuery(benchmark::State& state) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(PortOf(Emulator().resource())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        state.SkipWithError("cannot connect");
        close(fd);
        return;
    }
    const char query[] = "MEAS:VOLT?\n";
    char reply[256];
    for (auto _ : state) {
        if (write(fd, query, sizeof query - 1) != sizeof query - 1) {
            state.SkipWithError("write failed");
            break;
        }
        // Read until the line feed, as the VISA read does.
        size_t have = 0;
        while (have == 0 || reply[have - 1] != '\n') {
            const ssize_t n = read(fd, reply + have, sizeof reply - have);
            if (n <= 0) break;
            have += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(reply);
    }
    close(fd);
}

}  // namespace

BENCHMARK(BM_VisaQuery)->UseRealTime();
BENCHMARK(BM_PlainSocketQuery)->UseRealTime();
BENCHMARK(BM_VisaQuery)->UseRealTime()->Name("BM_VisaQuery/again");
BENCHMARK_MAIN();
