// LAN discovery: the portmapper question and its answers, which expressions
// ask, and viFindRsrc against a scripted portmapper on loopback and the
// emulator's (DNS-SD through avahi: dns_sd_test.cpp).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "lan_discovery.h"
#include "portmap_getport.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace qmdc::visa;
using qmdc_test::ScopedEnv;
using qmdc_test::TempFolder;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

Bytes words(std::initializer_list<uint32_t> list) {
    Bytes out;
    for (uint32_t w : list)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(w >> shift));
    return out;
}

// A reply to call `xid`: accepted, AUTH_NONE verifier, SUCCESS, the port.
Bytes reply(uint32_t xid, uint32_t port) {
    return words({xid, 1, 0, 0, 0, 0, port});
}

TEST(VisaLanDiscovery, GetPortCall) {
    EXPECT_EQ(encodeGetPortCall(0x01020304),
              words({0x01020304, 0, 2, 100000, 2, 3, 0, 0, 0, 0, 395183, 1, 6, 0}));
}

// Each row one near miss of the one reply that names a VXI-11 server.
TEST(VisaLanDiscovery, GetPortReplies) {
    const uint32_t xid = 77;
    Bytes shortByOne = reply(xid, 1024);
    shortByOne.pop_back();
    const struct {
        const char* note;
        Bytes datagram;
        uint16_t port;
    } rows[] = {
        {"a port", reply(xid, 1024), 1024},
        {"the highest port", reply(xid, 65535), 65535},
        {"past the highest port", reply(xid, 65536), 0},
        {"no VXI-11 server registered", reply(xid, 0), 0},
        {"another call's reply", reply(xid + 1, 1024), 0},
        {"a call, not a reply", words({xid, 0, 0, 0, 0, 0, 1024}), 0},
        {"denied", words({xid, 1, 1, 0, 0, 0, 1024}), 0},
        {"program unavailable", words({xid, 1, 0, 0, 0, 1, 1024}), 0},
        {"a verifier with 5 bytes (padded to 8)", words({xid, 1, 0, 1, 5, 0, 0, 0, 1024}), 1024},
        {"a verifier of 401 bytes", words({xid, 1, 0, 1, 401, 0, 1024}), 0},
        {"a verifier longer than the datagram", words({xid, 1, 0, 1, 400, 0, 1024}), 0},
        {"one byte short", shortByOne, 0},
        {"empty", {}, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decodeGetPortReply(row.datagram.data(), row.datagram.size(), xid), row.port)
            << row.note;
    EXPECT_EQ(decodeGetPortReply(nullptr, 28, xid), 0);
}

// Discovery waits for the network only where a TCPIP name may match; the
// near misses are the first characters that rule TCPIP in or out.
TEST(VisaLanDiscovery, WhichExpressionsAsk) {
    const struct {
        const char* expr;
        bool asks;
    } rows[] = {
        {"?*", true},        {"TCPIP?*", true},        {"tcpip0::10?*", true}, {"?*SOCKET", true},
        {"T?*", true},       {"TCPX*", true},  // "X" optional
        {"[T]CPIP?*", true}, {"ASRL?*|TCPIP?*", true}, {"(TCPIP)?*", true},    {"ASRL?*", false},
        {"USB?*", false},    {"TCPX+", false},         {"GPIB0::?*", false},   {"TCPIQ?*", false},
    };
    for (const auto& row : rows) EXPECT_EQ(mayMatchLanName(row.expr), row.asks) << row.expr;
}

// The name each announced service type gets; the near misses are the
// default HiSLIP port and a type that names no instrument.
TEST(VisaLanDiscovery, NamesOfAnnouncedServices) {
    const struct {
        const char* type;
        uint16_t port;
        const char* name;
    } rows[] = {
        {"_vxi-11._tcp", 111, "TCPIP0::10.0.0.9::inst0::INSTR"},
        {"_lxi._tcp", 80, "TCPIP0::10.0.0.9::inst0::INSTR"},
        {"_hislip._tcp", 4880, "TCPIP0::10.0.0.9::hislip0::INSTR"},
        {"_hislip._tcp", 4881, "TCPIP0::10.0.0.9::hislip0,4881::INSTR"},
        {"_scpi-raw._tcp", 5025, "TCPIP0::10.0.0.9::5025::SOCKET"},
        {"_scpi-raw._tcp", 0, ""},
        {"_http._tcp", 80, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(dnsSdResourceName(row.type, "10.0.0.9", row.port), row.name) << row.type;
}

// A portmapper over UDP at a port the system picks, bound to `address`,
// answering every question as told; it counts the questions.
class ScriptedPortmapper {
  public:
    enum class Answer { Port, PortZero, OtherXid, Garbage, Silent };
    ScriptedPortmapper(const char* address, Answer answer) : answer_(answer) {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        socklen_t size = sizeof a;
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), size), 0) << address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedPortmapper() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    std::string port() const { return std::to_string(port_); }
    int questions() const { return questions_; }

  private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t in[512];
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t n =
                recvfrom(fd_, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &size);
            if (n < 4) continue;
            ++questions_;
            const uint32_t xid = uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | in[2] << 8 | in[3];
            const Bytes out = answer_ == Answer::Port       ? reply(xid, 40000)
                              : answer_ == Answer::PortZero ? reply(xid, 0)
                              : answer_ == Answer::OtherXid ? reply(xid ^ 1, 40000)
                              : answer_ == Answer::Garbage  ? Bytes{'H', 'S', 0, 1}
                                                            : Bytes{};
            if (!out.empty())
                sendto(fd_, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
        }
    }
    Answer answer_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> questions_{0};
    std::thread thread_;
};

// viFindRsrc with the broadcast question going to a scripted portmapper.
// The expressions keep to loopback names: the portmapper also hears the
// broadcast on this machine's other interfaces. Each row guards one rule:
// an answer with a port lists the address, any other answer does not; a
// portmapper on a loopback address of its own is asked too; names a user
// gave come first and only once; expressions for other kinds, and a time
// of 0, ask nothing.
TEST(VisaLanDiscovery, BroadcastThroughViFindRsrc) {
    using A = ScriptedPortmapper::Answer;
    const char* const local = "TCPIP0::127.0.0.1::inst0::INSTR";
    const struct {
        const char* note;
        const char* bind;
        A answer;
        const char* expr;
        const char* named;
        const char* ms;
        Names names;
        bool asked;
    } rows[] = {
        {"a port", "0.0.0.0", A::Port, "TCPIP0::127.0.0.1::?*", "", "300", {local}, true},
        {"its own loopback address",
         "127.1.2.3",
         A::Port,
         "TCPIP?*::127.?*",
         "",
         "300",
         {"TCPIP0::127.1.2.3::inst0::INSTR"},
         true},
        {"port 0", "0.0.0.0", A::PortZero, "TCPIP0::127.0.0.1::?*", "", "300", {}, true},
        {"another xid", "0.0.0.0", A::OtherXid, "TCPIP0::127.0.0.1::?*", "", "300", {}, true},
        {"no RPC", "0.0.0.0", A::Garbage, "TCPIP0::127.0.0.1::?*", "", "300", {}, true},
        {"silent", "0.0.0.0", A::Silent, "TCPIP0::127.0.0.1::?*", "", "300", {}, true},
        {"named first, once",
         "0.0.0.0",
         A::Port,
         "TCPIP0::1(27.0.0.1|92.0.2.200)::?*",
         "TCPIP::192.0.2.200::INSTR;TCPIP::127.0.0.1::INSTR",
         "300",
         {"TCPIP0::192.0.2.200::inst0::INSTR", local},
         true},
        {"serial ports", "0.0.0.0", A::Port, "ASRL?*", "", "300", {}, false},
        {"switched off", "0.0.0.0", A::Port, "TCPIP?*", "", "0", {}, false},
    };
    TempFolder empty;
    ScopedEnv sysfs("QMDC_VISA_SYSFS", empty.path().c_str());
    ScopedEnv file("QMDC_VISA_RESOURCES_FILE", (empty.path() + "/none").c_str());
    for (const auto& row : rows) {
        ScriptedPortmapper portmapper(row.bind, row.answer);
        ScopedEnv port("QMDC_VISA_PORTMAPPER_PORT", portmapper.port().c_str());
        ScopedEnv ms("QMDC_VISA_DISCOVERY_MS", row.ms);
        ScopedEnv named("QMDC_VISA_RESOURCES", row.named);
        ViStatus status = VI_SUCCESS;
        EXPECT_EQ(visatest::ResourceManager().find(row.expr, &status), row.names) << row.note;
        EXPECT_EQ(status, row.names.empty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS) << row.note;
        EXPECT_EQ(portmapper.questions() > 0, row.asked) << row.note;
    }
}

// The emulator's VXI-11 server, on a loopback address it picks, is found and
// answers under the name found.
TEST(VisaLanDiscovery, FindsTheEmulator) {
    qmdc::testing::EmulatorProcess emulator({"--vxi11"});
    const std::string& resource = emulator.resource();  // TCPIP0::127.X.Y.Z::inst0::INSTR
    const std::string address = resource.substr(8, resource.find("::", 8) - 8);
    ScopedEnv ms("QMDC_VISA_DISCOVERY_MS", "500");
    ScopedEnv named("QMDC_VISA_RESOURCES", "");
    ViStatus status = VI_SUCCESS;
    EXPECT_EQ(visatest::ResourceManager().find(("TCPIP?*::" + address + "::?*").c_str(), &status),
              Names{resource});
    visatest::ResourceManager rm;
    ViSession vi = VI_NULL;
    ASSERT_EQ(rm.open(resource, &vi), VI_SUCCESS);
    ViChar idn[256] = "";
    EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%255[^\n]", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "Orvane,Rack 30-70 QM,SN0001,1.2.3");
}

}  // namespace
