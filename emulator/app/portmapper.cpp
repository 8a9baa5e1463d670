#include "app/portmapper.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>
#include <rpc/rpcb_prot.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "vxi11.h"

namespace qmdc::emu {

namespace {

constexpr size_t kMaxDatagram = 8800;  // RPC over UDP: UDPMSGSIZE

// The table's entries as PMAPPROC_DUMP lists them: the portmapper itself, over TCP and UDP,
// and the two VXI-11 programs it serves over TCP.
std::vector<pmap> Entries(const PortmapTable& table) {
    return {{PMAPPROG, PMAPVERS, IPPROTO_TCP, PMAPPORT},
            {PMAPPROG, PMAPVERS, IPPROTO_UDP, PMAPPORT},
            {DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, table.corePort},
            {DEVICE_ASYNC, DEVICE_ASYNC_VERSION, IPPROTO_TCP, table.abortPort}};
}

template <class Args, class Res, class Body>
std::string Answer(uint32_t xid, const std::string& record, size_t at,
                   bool_t (*decodeArgs)(XDR*, Args*), bool_t (*encodeRes)(XDR*, Res*),
                   Body&& body) {
    std::string out;
    Args args{};
    if (!rpc::decodeArgs(record, at, rpc::xdrProc(decodeArgs), &args)) {
        rpc::encodeReply(xid, GARBAGE_ARGS, nullptr, nullptr, &out);
        return out;
    }
    Res res{};
    if (body(args, res)) rpc::encodeReply(xid, SUCCESS, rpc::xdrProc(encodeRes), &res, &out);
    xdr_free(rpc::xdrProc(decodeArgs), reinterpret_cast<char*>(&args));
    return out;
}

}  // namespace

std::string PortmapReply(const PortmapTable& table, const rpc::CallHeader& call,
                         const std::string& record, size_t at, bool broadcast) {
    std::string out;
    if (call.prog != PMAPPROG || call.vers < PMAPVERS || call.vers > RPCBVERS4) {
        if (!broadcast) rpc::encodeReply(call.xid, PROG_UNAVAIL, nullptr, nullptr, &out);
        return out;
    }
    if (broadcast && call.proc != PMAPPROC_GETPORT) return out;
    if (call.proc == NULLPROC) {
        rpc::encodeReply(call.xid, SUCCESS, rpc::xdrProc(xdr_void), nullptr, &out);
    } else if (call.proc == PMAPPROC_DUMP && call.vers == PMAPVERS) {
        const std::vector<pmap> entries = Entries(table);
        std::vector<pmaplist> list(entries.size());
        for (size_t i = 0; i < list.size(); ++i) {
            list[i].pml_map = entries[i];
            list[i].pml_next = i + 1 < list.size() ? &list[i + 1] : nullptr;
        }
        pmaplist* head = list.data();
        rpc::encodeReply(call.xid, SUCCESS, rpc::xdrProc(xdr_pmaplist), &head, &out);
    } else if (call.proc != PMAPPROC_GETPORT) {  // also RPCBPROC_GETADDR in versions 3 and 4
        rpc::encodeReply(call.xid, PROC_UNAVAIL, nullptr, nullptr, &out);
    } else if (call.vers == PMAPVERS) {
        return Answer(call.xid, record, at, xdr_pmap, xdr_u_long, [&](pmap& query, u_long& port) {
            port = 0;
            for (const pmap& entry : Entries(table)) {
                if (entry.pm_prog == query.pm_prog && entry.pm_vers == query.pm_vers &&
                    entry.pm_prot == query.pm_prot)
                    port = entry.pm_port;
            }
            return !broadcast || query.pm_prog == DEVICE_CORE;
        });
    } else {
        // rpcbind's universal address: "h1.h2.h3.h4.p1.p2", empty for an unknown program.
        std::string address;
        return Answer(
            call.xid, record, at, xdr_rpcb, xdr_wrapstring, [&](rpcb& query, char*& text) {
                char host[INET_ADDRSTRLEN] = "";
                ::inet_ntop(AF_INET, &table.address, host, sizeof host);
                const std::string netid = query.r_netid != nullptr ? query.r_netid : "";
                const u_long protocol = netid == "tcp"   ? IPPROTO_TCP
                                        : netid == "udp" ? IPPROTO_UDP
                                                         : 0;
                for (const pmap& entry : Entries(table)) {
                    // The portmapper's own entry stands for each of its versions.
                    const bool version = entry.pm_vers == query.r_vers ||
                                         (entry.pm_prog == PMAPPROG && query.r_vers <= RPCBVERS4);
                    if (entry.pm_prog == query.r_prog && version && entry.pm_prot == protocol)
                        address = std::string(host) + "." + std::to_string(entry.pm_port >> 8) +
                                  "." + std::to_string(entry.pm_port & 0xFF);
                }
                text = const_cast<char*>(address.c_str());
                return true;
            });
    }
    return out;
}

namespace {

Fd BindUdp(in_addr_t address, std::string& error) {
    Fd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = address;
    at.sin_port = htons(PMAPPORT);
    // Shared with the other emulators' broadcast sockets on the same port.
    if (!socket.valid() ||
        ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(socket.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        error = std::string("UDP port 111: ") + std::strerror(errno);
        return Fd();
    }
    return socket;
}

}  // namespace

bool PortmapUdp::Open(const PortmapTable& table, std::string& error) {
    table_ = table;
    unicast_ = BindUdp(table.address, error);
    if (!unicast_.valid()) return false;
    std::string unused;
    broadcast_ = BindUdp(htonl(INADDR_ANY), unused);
    const int on = 1;
    if (broadcast_.valid() &&
        (::setsockopt(broadcast_.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
         ::setsockopt(broadcast_.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0))
        broadcast_.Reset();
    broadcastAddresses_ = {htonl(INADDR_BROADCAST)};
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) == 0) {
        for (const ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
            if ((i->ifa_flags & IFF_BROADCAST) != 0 && i->ifa_broadaddr != nullptr &&
                i->ifa_broadaddr->sa_family == AF_INET)
                broadcastAddresses_.push_back(
                    reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr);
        }
        ::freeifaddrs(interfaces);
    }
    return true;
}

void PortmapUdp::Watch(std::vector<pollfd>& fds) const {
    fds.push_back(pollfd{unicast_.get(), POLLIN, 0});
    fds.push_back(pollfd{broadcast_.get(), POLLIN, 0});
}

void PortmapUdp::Serve(const std::vector<pollfd>& fds, size_t first) {
    if (fds[first].revents != 0) Answer(unicast_.get(), false);
    if (fds[first + 1].revents != 0) Answer(broadcast_.get(), true);
}

void PortmapUdp::Answer(int fd, bool broadcastSocket) {
    // One datagram per call: at most a few per poll round, so a flood cannot hold the loop.
    for (int i = 0; i < 16; ++i) {
        char buffer[kMaxDatagram];
        char control[CMSG_SPACE(sizeof(in_pktinfo))];
        sockaddr_in from{};
        iovec data{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t count = ::recvmsg(fd, &message, MSG_DONTWAIT);
        if (count < 0) return;
        const std::string record(buffer, static_cast<size_t>(count));
        rpc::CallHeader call;
        size_t at = 0;
        if (!rpc::decodeCallHeader(record, &call, &at)) continue;
        if (broadcastSocket) {
            // That socket sees unicast datagrams no other socket took too: only broadcasts
            // are its business.
            in_addr_t to = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                    to = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c))->ipi_addr.s_addr;
            if (std::find(broadcastAddresses_.begin(), broadcastAddresses_.end(), to) ==
                broadcastAddresses_.end())
                continue;
        }
        std::string reply = PortmapReply(table_, call, record, at, broadcastSocket);
        if (reply.size() <= 4) continue;
        reply.erase(0, 4);  // no record mark on UDP
        iovec out{reply.data(), reply.size()};
        msghdr answer{};
        answer.msg_name = &from;
        answer.msg_namelen = sizeof from;
        answer.msg_iov = &out;
        answer.msg_iovlen = 1;
        // The answer to a broadcast comes from the instrument's own address, which the
        // client then opens.
        char sourceControl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        if (broadcastSocket) {
            answer.msg_control = sourceControl;
            answer.msg_controllen = sizeof sourceControl;
            cmsghdr* c = CMSG_FIRSTHDR(&answer);
            c->cmsg_level = IPPROTO_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo source{};
            source.ipi_spec_dst.s_addr = table_.address;
            std::memcpy(CMSG_DATA(c), &source, sizeof source);
        }
        ::sendmsg(fd, &answer, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
}

}  // namespace qmdc::emu
