// The driver's query paths beside the floor they stand on, timed as single
// calls interleaved round by round (each round calls every contender once,
// in a rotating order), so that whatever load the machine has falls on all
// of them alike. Median (p50) and 90th percentile per call, and each
// contender's median over its floor's.
//
// - socket: a raw C client (write, then read to the linefeed) beside the
//   driver (QmDC_error_query; a Set with the status check, which writes a
//   command and queries *ESR?, beside the raw client's same two lines), all
//   on one poll() server of this program that answers any number of
//   connections (the emulator serves one socket client at a time);
// - HiSLIP: the driver's error query over HiSLIP beside the raw client on
//   the emulator's socket, one emulator serving both;
// - VXI-11: *IDN? through our VISA beside liblxi on one emulator (when
//   liblxi is there and the emulator can serve VXI-11).
//
//   query_floor_bench [ROUNDS]      (default 20000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QmDC.h"
#include "emulator_process.h"
#include "plain_socket.h"
#include "visa.h"

#ifdef QMDC_HAVE_LXI
#include <lxi.h>
#endif

namespace {

// --- the shared poll() server -----------------------------------------------

const char* Answer(const std::string& line) {
    if (line == "*IDN?") return "Orvane,Rack 30-70 QM,SN0001,1.2.3\n";
    if (line.find("ERR?") != std::string::npos) return "0,\"No error\"\n";
    return "0\n";  // *ESR? and any other query
}

// Answers every line that ends in '?' on every connection, until killed.
[[noreturn]] void Serve(int listener) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    std::vector<std::string> input(1);
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents & POLLIN) {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client >= 0) {
                int one = 1;
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                fds.push_back({client, POLLIN, 0});
                input.emplace_back();
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            char bytes[4096];
            const ssize_t n = ::read(fds[i].fd, bytes, sizeof bytes);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
                input.erase(input.begin() + static_cast<long>(i));
                --i;
                continue;
            }
            std::string& in = input[i];
            in.append(bytes, static_cast<size_t>(n));
            std::string out;
            for (size_t end; (end = in.find('\n')) != std::string::npos; in.erase(0, end + 1)) {
                const std::string line = in.substr(0, end);
                if (!line.empty() && line.back() == '?') out += Answer(line);
            }
            if (!out.empty() && ::write(fds[i].fd, out.data(), out.size()) < 0) continue;
        }
    }
}

// Starts the server in a child process; its resource name, or "" on failure.
std::string StartServer(pid_t* child) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "";
    *child = ::fork();
    if (*child == 0) Serve(listener);
    ::close(listener);
    return "TCPIP0::127.0.0.1::" + std::to_string(ntohs(address.sin_port)) + "::SOCKET";
}

// --- contenders and rounds --------------------------------------------------

struct Contender {
    std::string name;
    std::function<bool()> call;
    std::vector<double> ns;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    const size_t at = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(at), v.end());
    return v[at];
}

// Runs the rounds; false when a call failed.
bool RunRounds(std::vector<Contender>& group, int rounds) {
    for (Contender& c : group) c.ns.reserve(static_cast<size_t>(rounds));
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < group.size(); ++k) {
            Contender& c = group[(k + static_cast<size_t>(round)) % group.size()];
            const auto start = std::chrono::steady_clock::now();
            if (!c.call()) {
                std::fprintf(stderr, "%s failed\n", c.name.c_str());
                return false;
            }
            const auto stop = std::chrono::steady_clock::now();
            c.ns.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        }
    }
    return true;
}

// Prints each contender's p50 and p90 in microseconds and its p50 over
// that of group[floor].
void Report(const char* title, const std::vector<Contender>& group,
            const std::vector<std::pair<size_t, size_t>>& ratios) {
    std::printf("%s\n", title);
    for (const Contender& c : group)
        std::printf("  %-44s p50 %7.2f us  p90 %7.2f us\n", c.name.c_str(),
                    Percentile(c.ns, 0.5) / 1000, Percentile(c.ns, 0.9) / 1000);
    for (const auto& [over, floor] : ratios)
        std::printf("  %-44s %.3fx %s\n", group[over].name.c_str(),
                    Percentile(group[over].ns, 0.5) / Percentile(group[floor].ns, 0.5),
                    group[floor].name.c_str());
}

ViSession OpenDriver(const std::string& resource, const char* options) {
    ViSession vi = VI_NULL;
    if (QmDC_InitWithOptions(const_cast<ViChar*>(resource.c_str()), VI_FALSE, VI_FALSE,
                             const_cast<ViChar*>(options), &vi) < 0)
        return VI_NULL;
    return vi;
}

std::function<bool()> DriverErrorQuery(ViSession vi) {
    return [vi] {
        ViInt32 code = 0;
        ViChar message[256];
        return QmDC_error_query(vi, &code, message) == VI_SUCCESS;
    };
}

bool SocketGroup(int rounds) {
    pid_t server = -1;
    const std::string resource = StartServer(&server);
    if (resource.empty()) return false;
    const int raw = qmdc_bench::ConnectPlain(resource);
    const ViSession query = OpenDriver(resource, "");
    // Cache off, so that every Set writes; the status check queries *ESR?.
    const ViSession set = OpenDriver(resource, "Cache=0, QueryInstrStatus=1");
    bool ok = raw >= 0 && query != VI_NULL && set != VI_NULL;
    if (ok) {
        std::vector<Contender> group{
            {"raw client :SYST:ERR?",
             [raw] { return qmdc_bench::Exchange(raw, ":SYST:ERR?\n", true); },
             {}},
            {"driver QmDC_error_query", DriverErrorQuery(query), {}},
            {"raw client VOLT 12.5 + *ESR?",
             [raw] {
                 return qmdc_bench::Exchange(raw, "VOLT 12.5\n", false) &&
                        qmdc_bench::Exchange(raw, "*ESR?\n", true);
             },
             {}},
            {"driver ConfigureVoltageLevel (+ *ESR?)",
             [set] { return QmDC_ConfigureVoltageLevel(set, "", 12.5) == VI_SUCCESS; },
             {}},
        };
        ok = RunRounds(group, rounds);
        if (ok) Report("socket, one poll() server:", group, {{1, 0}, {3, 2}});
    }
    if (query != VI_NULL) QmDC_close(query);
    if (set != VI_NULL) QmDC_close(set);
    if (raw >= 0) ::close(raw);
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    return ok;
}

bool HislipGroup(int rounds) {
    qmdc::testing::EmulatorProcess emulator({"--tcp", "--hislip"});
    const int raw = qmdc_bench::ConnectPlain(emulator.resources().front());
    const ViSession hislip = OpenDriver(emulator.resources().back(), "");
    bool ok = raw >= 0 && hislip != VI_NULL;
    if (ok) {
        std::vector<Contender> group{
            {"raw client :SYST:ERR? (emulator socket)",
             [raw] { return qmdc_bench::Exchange(raw, ":SYST:ERR?\n", true); },
             {}},
            {"driver QmDC_error_query over HiSLIP", DriverErrorQuery(hislip), {}},
        };
        ok = RunRounds(group, rounds);
        if (ok) Report("HiSLIP, one emulator:", group, {{1, 0}});
    }
    if (hislip != VI_NULL) QmDC_close(hislip);
    if (raw >= 0) ::close(raw);
    return ok;
}

#ifdef QMDC_HAVE_LXI
bool Vxi11Group(int rounds) {
    std::unique_ptr<qmdc::testing::EmulatorProcess> emulator;
    try {
        emulator =
            std::make_unique<qmdc::testing::EmulatorProcess>(std::vector<std::string>{"--vxi11"});
    } catch (const std::exception&) {
        std::printf("VXI-11: the emulator cannot serve it here (port 111 needs root)\n");
        return true;
    }
    const std::string& resource = emulator->resource();
    const size_t start = resource.find("::") + 2;
    const std::string host = resource.substr(start, resource.find("::", start) - start);
    lxi_init();
    const int device = lxi_connect(host.c_str(), 0, "inst0", 2000, VXI11);
    ViSession rm = VI_NULL, vi = VI_NULL;
    bool ok = device >= 0 && viOpenDefaultRM(&rm) >= 0 &&
              viOpen(rm, resource.c_str(), VI_NULL, 2000, &vi) >= 0;
    if (ok) {
        std::vector<Contender> group{
            {"liblxi *IDN?",
             [device] {
                 char answer[256];
                 return lxi_send(device, "*IDN?\n", 6, 2000) == 6 &&
                        lxi_receive(device, answer, sizeof answer, 2000) > 0;
             },
             {}},
            {"our VISA viQueryf *IDN?",
             [vi] {
                 char answer[256];
                 return viQueryf(vi, "*IDN?\n", "%255t", answer) >= VI_SUCCESS;
             },
             {}},
        };
        ok = RunRounds(group, rounds);
        if (ok) Report("VXI-11, one emulator:", group, {{1, 0}});
    }
    if (rm != VI_NULL) viClose(rm);
    if (device >= 0) lxi_disconnect(device);
    return ok;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20000;
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: query_floor_bench [ROUNDS]\n");
        return 2;
    }
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");
    std::printf("%d rounds, single calls interleaved\n", rounds);
    bool ok = SocketGroup(rounds) && HislipGroup(rounds);
#ifdef QMDC_HAVE_LXI
    ok = ok && Vxi11Group(rounds);
#endif
    return ok ? 0 : 1;
}
