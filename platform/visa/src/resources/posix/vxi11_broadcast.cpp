// vxi11_broadcast.cpp - the VXI-11 portmapper question over UDP: one socket,
// one datagram to each IPv4 broadcast address and to the loopback network,
// and every answer taken until the time is up.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "lan_discovery.h"
#include "portmap_getport.h"

namespace qmdc::visa {

namespace {

// Answers beyond this many are dropped: a LAN has fewer instruments.
constexpr size_t kMaxAnswers = 1024;
// Lines of the table of bound UDP sockets read, at most.
constexpr size_t kMaxLoopbackListeners = 65536;
// Larger than any GETPORT reply (verifier included); a longer datagram is
// cut to it and then fails to decode.
constexpr size_t kMaxReply = 512;

// Portmappers of this machine bound to one loopback address other than
// 127.0.0.1 (an instrument emulator's): a broadcast does not reach them, so
// each is asked on its own. Linux lists bound UDP sockets in /proc/net/udp,
// "sl local_address ..." with the address as the 32 bits in memory and the
// port in host order, both in hex.
void addLoopbackListeners(uint16_t port, std::set<uint32_t>* to) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // the heading
    for (size_t n = 0; n < kMaxLoopbackListeners && std::getline(table, line); ++n) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        unsigned long address = 0, boundPort = 0;
        if (std::sscanf(local.c_str(), "%8lx:%4lx", &address, &boundPort) != 2) continue;
        const uint32_t host = ntohl(static_cast<uint32_t>(address));
        if (boundPort == port && (host >> 24) == 127) to->insert(host);
    }
}

// Where the question goes, in host byte order: each interface's broadcast
// address, the loopback network's (127.255.255.255), 127.0.0.1 (where a
// portmapper bound to one address of the machine still hears it) and the
// other loopback addresses a portmapper is bound to.
std::set<uint32_t> destinations(uint16_t port) {
    std::set<uint32_t> to{INADDR_LOOPBACK, 0x7FFFFFFFu};
    addLoopbackListeners(port, &to);
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return to;
    for (const struct ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_BROADCAST) == 0 ||
            i->ifa_broadaddr == nullptr)
            continue;
        const auto* b = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr);
        to.insert(ntohl(b->sin_addr.s_addr));
    }
    ::freeifaddrs(list);
    return to;
}

struct Socket {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::vector<std::string> broadcastVxi11(const LanDiscovery& how) {
    if (how.timeoutMs == 0) return {};
    Socket s;
    if (s.fd < 0) return {};
    const int on = 1;
    ::setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const uint32_t xid = std::random_device{}();
    const std::vector<uint8_t> call = encodeGetPortCall(xid);
    for (uint32_t address : destinations(how.portmapperPort)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(how.portmapperPort);
        to.sin_addr.s_addr = htonl(address);
        // An interface without a route answers ENETUNREACH: the others still go.
        (void)::sendto(s.fd, call.data(), call.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to);
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(how.timeoutMs);
    std::set<uint32_t> answered;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0 || answered.size() >= kMaxAnswers) break;
        pollfd p{s.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;  // time up (seen above), or a signal
        uint8_t reply[kMaxReply];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t n =
            ::recvfrom(s.fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n <= 0 || fromSize != sizeof from || from.sin_family != AF_INET) continue;
        if (decodeGetPortReply(reply, static_cast<size_t>(n), xid) != 0)
            answered.insert(ntohl(from.sin_addr.s_addr));
    }
    std::vector<std::string> names;
    for (uint32_t address : answered) {
        in_addr a{htonl(address)};
        char text[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        names.push_back(std::string("TCPIP0::") + text + "::inst0::INSTR");
    }
    return names;
}

}  // namespace qmdc::visa
