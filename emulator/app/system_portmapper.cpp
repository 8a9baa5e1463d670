#include "app/system_portmapper.h"

#include <arpa/inet.h>
#include <netconfig.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>
#include <rpc/rpcb_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "app/transport.h"
#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"

namespace qmdc::emu {

namespace {

constexpr int kProbeMs = 1000;

// Waits for `events` on fd until the deadline; false when it passed.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, MsUntil(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// Sends one call and decodes its reply; false on any failure (refused, timed out, broken).
bool CallOnce(in_addr_t address, uint16_t port, const rpc::CallHeader& call, xdrproc_t encode,
              const void* args, xdrproc_t decode, void* results, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Fd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.valid()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || !WaitFor(socket.get(), POLLOUT, deadline) ||
            ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return false;
    }
    std::string out;
    if (!rpc::encodeCall(call, encode, args, &out)) return false;
    for (size_t sent = 0; sent < out.size();) {
        if (!WaitFor(socket.get(), POLLOUT, deadline)) return false;
        const ssize_t n = ::send(socket.get(), out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (n > 0) sent += static_cast<size_t>(n);
    }
    rpc::RecordReader reader(65536);
    for (;;) {
        if (!WaitFor(socket.get(), POLLIN, deadline)) return false;
        uint8_t buffer[4096];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
        for (size_t at = 0; n > 0 && at < static_cast<size_t>(n);) {
            size_t used = 0;
            const auto state = reader.feed(buffer + at, static_cast<size_t>(n) - at, &used);
            at += used;
            if (state == rpc::RecordReader::State::TooLong) return false;
            if (state != rpc::RecordReader::State::Complete) break;
            const rpc::ReplyKind kind =
                rpc::decodeReply(reader.record(), call.xid, decode, results);
            if (kind != rpc::ReplyKind::OtherXid) return kind == rpc::ReplyKind::Success;
            reader.next();
        }
    }
}

uint32_t NextXid() {
    static uint32_t xid = static_cast<uint32_t>(::getpid()) << 16;
    return ++xid;
}

}  // namespace

bool AnswersNullCall(in_addr_t address, uint16_t port, uint32_t prog, uint32_t vers,
                     int timeoutMs) {
    return CallOnce(address, port, rpc::CallHeader{NextXid(), prog, vers, 0},
                    rpc::xdrProc(xdr_void), nullptr, rpc::xdrProc(xdr_void), nullptr, timeoutMs);
}

std::optional<uint16_t> PortmapperGetPort(in_addr_t address, uint32_t prog, uint32_t vers,
                                          int timeoutMs) {
    pmap query{prog, vers, IPPROTO_TCP, 0};
    u_long port = 0;
    if (!CallOnce(address, PMAPPORT,
                  rpc::CallHeader{NextXid(), PMAPPROG, PMAPVERS, PMAPPROC_GETPORT},
                  rpc::xdrProc(xdr_pmap), &query, rpc::xdrProc(xdr_u_long), &port, timeoutMs) ||
        port > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(port);
}

SystemRegistration::~SystemRegistration() {
    if (port_ == 0) return;
    // Only our own entry: a server started after a crash of ours may have its own there now.
    if (PortmapperGetPort(address_, DEVICE_CORE, DEVICE_CORE_VERSION, kProbeMs) == port_)
        rpcb_unset(DEVICE_CORE, DEVICE_CORE_VERSION, nullptr);
}

bool SystemRegistration::Register(in_addr_t address, uint16_t port, std::string& error) {
    const std::optional<uint16_t> present =
        PortmapperGetPort(address, DEVICE_CORE, DEVICE_CORE_VERSION, kProbeMs);
    if (!present) {
        error = "the system portmapper on port 111 does not answer GETPORT";
        return false;
    }
    if (*present != 0) {
        if (AnswersNullCall(address, *present, DEVICE_CORE, DEVICE_CORE_VERSION, kProbeMs)) {
            error =
                "the system portmapper on port 111 already maps the VXI-11 core program "
                "(395183 version 1) to port " +
                std::to_string(*present) +
                ", where a server answers: only one VXI-11 server per host can be "
                "registered with it (stop that one, or stop rpcbind so that each "
                "emulator runs its own portmapper on a loopback address)";
            return false;
        }
        // Left by a server that has gone (a crash): ours replaces it.
        rpcb_unset(DEVICE_CORE, DEVICE_CORE_VERSION, nullptr);
    }
    netconfig* tcp = getnetconfigent("tcp");
    if (tcp == nullptr) {
        error = "the system portmapper: no netconfig entry for tcp";
        return false;
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = address;
    at.sin_port = htons(port);
    netbuf where{sizeof at, sizeof at, &at};
    const bool set = rpcb_set(DEVICE_CORE, DEVICE_CORE_VERSION, tcp, &where) != 0;
    freenetconfigent(tcp);
    if (!set) {
        error =
            "the system portmapper on port 111 refused to register the VXI-11 core "
            "program (395183 version 1)";
        return false;
    }
    address_ = address;
    port_ = port;
    return true;
}

}  // namespace qmdc::emu
