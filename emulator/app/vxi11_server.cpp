#include "app/vxi11_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <rpc/pmap_prot.h>
#include <fcntl.h>
#include <rpc/rpcb_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "app/system_portmapper.h"
#include "vxi11_intr.h"

namespace qmdc::emu {

namespace {

constexpr u_long kMaxRecvSize = 1024;  // small, so that long messages come in several writes
constexpr int kAddressTries = 64;
constexpr int kProbeMs = 1000;  // how long a portmapper on port 111 may take to answer
// Descriptors Watch() puts first: the three TCP listeners, then the portmapper's UDP pair.
constexpr size_t kListeners = 3;
constexpr size_t kFixed = kListeners + 2;
constexpr long kReasonReqCnt = 0x01, kReasonChr = 0x02, kReasonEnd = 0x04;
constexpr Device_Flags kFlagWaitLock = 0x01, kFlagEnd = 0x08, kFlagTermChrSet = 0x80;
constexpr Device_ErrorCode kErrDeviceNotAccessible = 3, kErrInvalidLink = 4, kErrParameter = 5,
                           kErrNoChannel = 6, kErrNotSupported = 8, kErrLocked = 11,
                           kErrOutOfResources = 9, kErrNoLock = 12, kErrTimeout = 15,
                           kErrInvalidAddress = 21, kErrAbort = 23, kErrChannelEstablished = 29;
// Links one connection may hold at once (each keeps a little state until it is destroyed).
constexpr size_t kMaxLinksPerConnection = 64;
// Connections at once, on all three channels: each costs a descriptor and buffers.
constexpr size_t kMaxConnections = 128;
// A client's interrupt channel: how long its connection may take, and how many calls it may
// leave unread before they are dropped.
constexpr auto kIntrConnectTime = std::chrono::seconds(1);
constexpr size_t kMaxIntrUnsent = 65536;

// Listens on address (network byte order):port; *bound gets the port. errno tells why not.
Fd ListenOn(in_addr_t address, uint16_t port, uint16_t* bound) {
    int boundPort = 0;
    std::string unused;
    Fd socket = ListenLoopback(port, &boundPort, unused, ntohl(address));
    *bound = static_cast<uint16_t>(boundPort);
    return socket;
}

// A loopback address other than 127.0.0.1, different from run to run.
in_addr_t RandomLoopback(std::mt19937& random) {
    // 127.0.0.1 .. 127.255.255.253, the first of them taken as 127.0.0.2.
    const uint32_t low = 1 + random() % 0xFFFFFD;
    return htonl(0x7F000000u | (low == 1 ? 2 : low));
}

}  // namespace

Vxi11Server::Vxi11Server(Engine& engine, Responder& responder, InstrumentLock& lock, bool verbose)
    : engine_(engine),
      responder_(responder),
      faults_(responder.faults()),
      lock_(lock),
      verbose_(verbose) {}

Vxi11Server::~Vxi11Server() = default;

bool Vxi11Server::Listen(const std::string& host, std::string& resource, std::string& error) {
    std::mt19937 random(static_cast<uint32_t>(::getpid()) ^
                        static_cast<uint32_t>(Clock::now().time_since_epoch().count()));
    in_addr_t address = 0;
    if (!host.empty() &&
        (::inet_pton(AF_INET, host.c_str(), &address) != 1 || (ntohl(address) >> 24) != 127)) {
        error = "not an IPv4 loopback address: " + host;
        return false;
    }
    std::string cause;
    bool systemPortmapper = false;
    for (int attempt = 0; attempt < kAddressTries; ++attempt) {
        if (host.empty()) address = RandomLoopback(random);
        uint16_t port = 0;
        portmapListener_ = ListenOn(address, PMAPPORT, &port);
        if (portmapListener_.valid()) break;
        const int failure = errno;
        char text[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        cause = std::string("listen on ") + text + " port 111: " + std::strerror(failure);
        // Port 111 of every address is the system portmapper's (rpcbind binds them all):
        // the core channel is registered with it instead.
        if ((failure == EADDRINUSE || failure == EACCES) &&
            AnswersNullCall(address, PMAPPORT, PMAPPROG, PMAPVERS, kProbeMs)) {
            systemPortmapper = true;
            if (host.empty()) address = htonl(INADDR_LOOPBACK);
            break;
        }
        if (!host.empty() || failure != EADDRINUSE) break;
    }
    if (!portmapListener_.valid() && !systemPortmapper) {
        error = cause + (cause.find("Permission") != std::string::npos
                             ? " (needs root or CAP_NET_BIND_SERVICE, or a system portmapper "
                               "such as rpcbind to register with)"
                             : "");
        return false;
    }
    coreListener_ = ListenOn(address, 0, &corePort_);
    abortListener_ = ListenOn(address, 0, &abortPort_);
    if (!coreListener_.valid() || !abortListener_.valid()) {
        error = std::string("listen for the VXI-11 channels: ") + std::strerror(errno);
        return false;
    }
    table_ = PortmapTable{address, corePort_, abortPort_};
    if (systemPortmapper) {
        registration_ = std::make_unique<SystemRegistration>();
        if (!registration_->Register(address, corePort_, error)) {
            registration_.reset();
            error = cause + "; " + error;
            return false;
        }
    } else if (!portmapUdp_.Open(table_, error)) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    host_ = text;
    if (verbose_)
        std::fprintf(stderr, "[vxi11] core channel on %s:%u, %s\n", text, corePort_,
                     systemPortmapper ? "registered with the system portmapper"
                                      : "with its own portmapper on port 111");
    resource = "TCPIP0::" + host_ + "::inst0::INSTR";
    return true;
}

int Vxi11Server::Watch(std::vector<pollfd>& fds) {
    // An absent descriptor (-1: no portmapper of our own) keeps its place; poll skips it.
    for (const Fd* listener : {&portmapListener_, &coreListener_, &abortListener_})
        fds.push_back(pollfd{listener->get(), POLLIN, 0});
    portmapUdp_.Watch(fds);
    int wait = -1;
    const auto waitUntil = [&](Clock::time_point until) { wait = Sooner(wait, MsUntil(until)); };
    for (const auto& conn : conns_) {
        fds.push_back(pollfd{conn->fd.get(),
                             static_cast<short>(POLLIN | (conn->out.empty() ? 0 : POLLOUT)), 0});
        if (conn->lockWait) waitUntil(conn->lockWait->until);
        if (!conn->read) continue;
        waitUntil(output_.empty() ? conn->read->until
                                  : std::min(conn->read->until, outputReadyAt_));
    }
    // After the connections, so that those keep their places.
    watchedIntr_.clear();
    for (const auto& conn : conns_) {
        IntrChannel* intr = conn->intr.get();
        if (intr == nullptr || !intr->fd.valid()) continue;
        const bool sending = intr->connecting || !intr->unsent.empty();
        fds.push_back(
            pollfd{intr->fd.get(), static_cast<short>(sending ? POLLIN | POLLOUT : POLLIN), 0});
        watchedIntr_.push_back(conn.get());
        if (intr->connecting) waitUntil(intr->connectBy);
    }
    return wait;
}

void Vxi11Server::Serve(const std::vector<pollfd>& fds, size_t first) {
    const Channel listeners[] = {Channel::Portmap, Channel::Core, Channel::Abort};
    const size_t connCount = conns_.size();
    // First, while every connection Watch() saw is still there.
    for (size_t i = 0; i < watchedIntr_.size(); ++i)
        if (watchedIntr_[i]->intr)
            ServeIntr(*watchedIntr_[i]->intr, fds[first + kFixed + connCount + i].revents);
    watchedIntr_.clear();
    for (size_t i = 0; i < connCount; ++i) {
        Conn& conn = *conns_[i];
        const short revents = fds[first + kFixed + i].revents;
        if ((revents & POLLOUT) != 0 && !conn.out.Flush(conn.fd.get())) conn.closing = true;
        if ((revents & ~POLLOUT) != 0 && !conn.closing && !Receive(conn)) conn.closing = true;
    }
    for (auto& conn : conns_) {
        if (conn->read && !conn->closing) AnswerRead(*conn, Clock::now() >= conn->read->until);
        if (conn->lockWait && !conn->closing) AnswerLockWait(*conn);
    }
    for (size_t i = 0; i < kListeners; ++i)
        if (fds[first + i].revents != 0) Accept(fds[first + i].fd, listeners[i]);
    portmapUdp_.Serve(fds, first + kListeners);
    for (auto& conn : conns_)
        if (conn->closing) Drop(*conn);
    conns_.erase(std::remove_if(conns_.begin(), conns_.end(),
                                [](const std::unique_ptr<Conn>& c) { return c->closing; }),
                 conns_.end());
}

void Vxi11Server::Accept(int listener, Channel channel) {
    Fd client = AcceptClient(listener);
    if (!client.valid() || conns_.size() >= kMaxConnections) return;  // no room: closed
    auto conn = std::make_unique<Conn>();
    conn->fd = std::move(client);
    conn->channel = channel;
    conns_.push_back(std::move(conn));
}

size_t Vxi11Server::LinksOf(const Conn& conn) const {
    return static_cast<size_t>(std::count_if(
        links_.begin(), links_.end(), [&](const auto& link) { return link.second.conn == &conn; }));
}

bool Vxi11Server::MayCallBack(const Conn& conn, in_addr_t to) const {
    // Only the client's own address: the channel must not make the instrument connect to
    // a third host or port on a client's word. A client on loopback may name any loopback
    // address (its listener may sit on the address of the core channel).
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(conn.fd.get(), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    const auto loopback = [](in_addr_t a) { return (ntohl(a) >> 24) == 127; };
    return to == peer.sin_addr.s_addr || (loopback(to) && loopback(peer.sin_addr.s_addr));
}

void Vxi11Server::Drop(Conn& conn) {
    std::vector<Device_Link> owned;
    for (const auto& [lid, link] : links_)
        if (link.conn == &conn) owned.push_back(lid);
    for (const Device_Link lid : owned) DestroyLink(lid);
    if (verbose_ && conn.channel == Channel::Core) std::fprintf(stderr, "[vxi11] closed\n");
    conn.fd.Reset();
}

void Vxi11Server::DestroyLink(Device_Link lid) {
    const auto link = links_.find(lid);
    if (link == links_.end()) return;
    lock_.ReleaseAll(&link->second);
    for (auto& conn : conns_)
        if (conn->lockWait && conn->lockWait->lid == lid) conn->lockWait.reset();
    links_.erase(link);
}

bool Vxi11Server::Receive(Conn& conn) {
    uint8_t buffer[65536];
    const ssize_t count = ::read(conn.fd.get(), buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (count <= 0) return false;
    size_t at = 0;
    while (at < static_cast<size_t>(count) && !conn.closing) {
        size_t used = 0;
        const auto state = conn.reader.feed(buffer + at, count - at, &used);
        at += used;
        if (state == rpc::RecordReader::State::TooLong) return false;
        if (state != rpc::RecordReader::State::Complete) break;
        const bool keep = HandleCall(conn, conn.reader.record());
        conn.reader.next();
        if (!keep) return false;
    }
    return true;
}

void Vxi11Server::Reply(Conn& conn, uint32_t xid, accept_stat status, xdrproc_t encode,
                        const void* res) {
    std::string out;
    if (!rpc::encodeReply(xid, status, encode, res, &out)) return;
    SendTo(conn, out);
}

template <class Args, class Res, class Body>
void Vxi11Server::Call(Conn& conn, uint32_t xid, const std::string& record, size_t at,
                       bool_t (*decodeArgs)(XDR*, Args*), bool_t (*encodeRes)(XDR*, Res*),
                       Body&& body) {
    Args args{};
    if (!rpc::decodeArgs(record, at, rpc::xdrProc(decodeArgs), &args)) {
        Reply(conn, xid, GARBAGE_ARGS, nullptr, nullptr);
        return;
    }
    Res res{};
    // The body returns false when the reply comes later (a read that waits for its answer).
    if (body(args, res)) Reply(conn, xid, SUCCESS, rpc::xdrProc(encodeRes), &res);
    xdr_free(rpc::xdrProc(decodeArgs), reinterpret_cast<char*>(&args));
}

void Vxi11Server::SendTo(Conn& conn, const std::string& bytes) {
    // A client that leaves its replies untaken past the queue's limit is dropped; the
    // others are not held up meanwhile.
    if (!conn.out.Send(conn.fd.get(), bytes)) {
        if (verbose_) std::fprintf(stderr, "[vxi11] a client that does not read is dropped\n");
        conn.closing = true;
    }
}

bool Vxi11Server::HandleCall(Conn& conn, const std::string& record) {
    rpc::CallHeader call;
    size_t at = 0;
    if (!rpc::decodeCallHeader(record, &call, &at)) return false;  // not RPC: hang up
    switch (conn.channel) {
        case Channel::Portmap:
            return Portmap(conn, call, record, at);
        case Channel::Core:
            return Core(conn, call, record, at);
        case Channel::Abort:
            return Abort(conn, call, record, at);
    }
    return false;
}

bool Vxi11Server::Portmap(Conn& conn, const rpc::CallHeader& call, const std::string& record,
                          size_t at) {
    const std::string reply = PortmapReply(table_, call, record, at, false);
    SendTo(conn, reply);
    return true;
}

Vxi11Server::Link* Vxi11Server::Find(const Conn& conn, Device_Link lid) {
    // A link is its connection's: another client cannot write, read, lock or unlock on it
    // by naming its number.
    const auto link = links_.find(lid);
    return link != links_.end() && link->second.conn == &conn ? &link->second : nullptr;
}

Device_ErrorCode Vxi11Server::Check(const Conn& conn, Device_Link lid) {
    const Link* link = Find(conn, lid);
    if (link == nullptr) return kErrInvalidLink;
    return lock_.Blocks(link) ? kErrLocked : 0;
}

bool Vxi11Server::Core(Conn& conn, const rpc::CallHeader& call, const std::string& record,
                       size_t at) {
    const uint32_t xid = call.xid;
    if (call.prog != DEVICE_CORE || call.vers != DEVICE_CORE_VERSION) {
        Reply(conn, xid, PROG_UNAVAIL, nullptr, nullptr);
        return true;
    }
    const auto generic = [&](auto&& action) {
        Call(conn, xid, record, at, xdr_Device_GenericParms, xdr_Device_Error,
             [&](Device_GenericParms& p, Device_Error& r) {
                 r.error = Check(conn, p.lid);
                 if (r.error == 0) action(p);
                 return true;
             });
    };
    switch (call.proc) {
        case NULLPROC:
            Reply(conn, xid, SUCCESS, rpc::xdrProc(xdr_void), nullptr);
            return true;
        case create_link:
            Call(conn, xid, record, at, xdr_Create_LinkParms, xdr_Create_LinkResp,
                 [&](Create_LinkParms& p, Create_LinkResp& r) {
                     // Device names are case-blind, as on instruments ("INST0").
                     if (::strcasecmp(p.device, "inst0") != 0) {
                         r.error = kErrDeviceNotAccessible;
                         return true;
                     }
                     if (LinksOf(conn) >= kMaxLinksPerConnection) {
                         r.error = kErrOutOfResources;
                         return true;
                     }
                     if (p.lockDevice && !lock_.CanLock(nullptr, true, std::string())) {
                         r.error = kErrLocked;
                         return true;
                     }
                     r.lid = nextLid_++;
                     links_.emplace(r.lid, Link(&conn));
                     if (p.lockDevice) lock_.Grant(&links_.at(r.lid), true, std::string());
                     r.abortPort = abortPort_;
                     r.maxRecvSize = kMaxRecvSize;
                     if (verbose_) std::fprintf(stderr, "[vxi11] link %ld\n", r.lid);
                     return true;
                 });
            return true;
        case destroy_link:
            Call(conn, xid, record, at, xdr_Device_Link, xdr_Device_Error,
                 [&](Device_Link& lid, Device_Error& r) {
                     r.error = Find(conn, lid) != nullptr ? 0 : kErrInvalidLink;
                     if (r.error == 0) DestroyLink(lid);
                     return true;
                 });
            return true;
        case device_write: {
            Call(conn, xid, record, at, xdr_Device_WriteParms, xdr_Device_WriteResp,
                 [&](Device_WriteParms& p, Device_WriteResp& r) {
                     r.error = p.data.data_len > kMaxRecvSize ? kErrParameter : Check(conn, p.lid);
                     if (r.error != 0) return true;
                     Link& link = links_.at(p.lid);
                     Write(link, p.lid, p, r);
                     if (link.count.drop) conn.dropWhenAnswered = true;
                     return true;
                 });
            // After the Nth message, the connection closes once its answer has been read.
            return !(conn.dropWhenAnswered && output_.empty());
        }
        case device_read:
            Call(conn, xid, record, at, xdr_Device_ReadParms, xdr_Device_ReadResp,
                 [&](Device_ReadParms& p, Device_ReadResp& r) {
                     r.error = Check(conn, p.lid);
                     if (r.error != 0) return true;
                     const auto ms = std::chrono::milliseconds(
                         std::min<u_long>(p.io_timeout, 24u * 3600 * 1000));
                     conn.read = PendingRead{xid, p, Clock::now() + ms};
                     AnswerRead(conn, false);
                     return false;
                 });
            return true;
        case device_readstb:
            Call(conn, xid, record, at, xdr_Device_GenericParms, xdr_Device_ReadStbResp,
                 [&](Device_GenericParms& p, Device_ReadStbResp& r) {
                     r.error = Check(conn, p.lid);
                     // MAV (bit 4): an answer waits in the output queue.
                     const int mav = output_.empty() ? 0 : 0x10;
                     r.stb = static_cast<u_char>(engine_.instrument().status().StatusByte() | mav);
                     return true;
                 });
            return true;
        case device_trigger:
            // The supply has no trigger subsystem: the trigger is taken and acts on nothing.
            generic([&](Device_GenericParms&) { ++triggers_; });
            return true;
        case device_clear:
            generic([&](Device_GenericParms& p) {
                // Device clear: the input and output queues are emptied.
                links_.at(p.lid).lines.Clear();
                output_.clear();
            });
            return true;
        case device_remote:
        case device_local:
            generic([&](Device_GenericParms&) { remote_ = call.proc == device_remote; });
            return true;
        case device_lock:
            Call(conn, xid, record, at, xdr_Device_LockParms, xdr_Device_Error,
                 [&](Device_LockParms& p, Device_Error& r) {
                     if (Find(conn, p.lid) == nullptr) {
                         r.error = kErrInvalidLink;
                         return true;
                     }
                     Link& link = links_.at(p.lid);
                     if (lock_.CanLock(&link, true, std::string())) {
                         lock_.Grant(&link, true, std::string());
                         return true;
                     }
                     r.error = kErrLocked;
                     // waitlock: the answer waits until the lock is free or lock_timeout ends.
                     if ((p.flags & kFlagWaitLock) == 0 || p.lock_timeout == 0 || conn.lockWait)
                         return true;
                     const auto ms = std::chrono::milliseconds(
                         std::min<u_long>(p.lock_timeout, 24u * 3600 * 1000));
                     conn.lockWait = LockWait{xid, p.lid, Clock::now() + ms};
                     return false;
                 });
            return true;
        case device_unlock:
            Call(conn, xid, record, at, xdr_Device_Link, xdr_Device_Error,
                 [&](Device_Link& lid, Device_Error& r) {
                     Link* link = Find(conn, lid);
                     r.error = link == nullptr ? kErrInvalidLink
                               : lock_.Release(link) != InstrumentLock::Held::Exclusive ? kErrNoLock
                                                                                        : 0;
                     return true;
                 });
            return true;
        case create_intr_chan:
            Call(conn, xid, record, at, xdr_Device_RemoteFunc, xdr_Device_Error,
                 [&](Device_RemoteFunc& p, Device_Error& r) {
                     // Service requests go over TCP only (a UDP channel is optional).
                     r.error = conn.intr                               ? kErrChannelEstablished
                               : p.progFamily != DEVICE_TCP            ? kErrNotSupported
                               : !MayCallBack(conn, htonl(p.hostAddr)) ? kErrInvalidAddress
                                                                       : 0;
                     if (r.error != 0) return true;
                     conn.intr = std::make_unique<IntrChannel>();
                     conn.intr->to.sin_family = AF_INET;
                     conn.intr->to.sin_addr.s_addr = htonl(static_cast<uint32_t>(p.hostAddr));
                     conn.intr->to.sin_port = htons(p.hostPort);
                     conn.intr->prog = static_cast<uint32_t>(p.progNum);
                     conn.intr->vers = static_cast<uint32_t>(p.progVers);
                     return true;
                 });
            return true;
        case destroy_intr_chan: {
            Device_Error r{};
            r.error = conn.intr ? 0 : kErrNoChannel;
            conn.intr.reset();
            Reply(conn, xid, SUCCESS, rpc::xdrProc(xdr_Device_Error), &r);
            return true;
        }
        case device_enable_srq:
            Call(conn, xid, record, at, xdr_Device_EnableSrqParms, xdr_Device_Error,
                 [&](Device_EnableSrqParms& p, Device_Error& r) {
                     Link* link = Find(conn, p.lid);
                     r.error = link == nullptr ? kErrInvalidLink : 0;
                     if (r.error != 0) return true;
                     link->srqHandle.reset();
                     if (p.enable)
                         link->srqHandle.emplace(p.handle.handle_val, p.handle.handle_len);
                     return true;
                 });
            return true;
        default:
            Reply(conn, xid, PROC_UNAVAIL, nullptr, nullptr);
            return true;
    }
}

void Vxi11Server::SendServiceRequest() {
    for (auto& [lid, link] : links_) {
        if (!link.srqHandle || !link.conn->intr || link.conn->closing) continue;
        if (verbose_) std::fprintf(stderr, "[vxi11 %ld] service request\n", lid);
        QueueIntrSrq(*link.conn->intr, *link.srqHandle);
    }
}

void Vxi11Server::QueueIntrSrq(IntrChannel& intr, const std::string& handle) {
    // A client that takes no calls loses the newest, not the server its memory.
    if (intr.unsent.size() > kMaxIntrUnsent) return;
    if (!rpc::encodeIntrSrq(intr.nextXid++, intr.prog, intr.vers, handle, &intr.unsent)) return;
    if (!intr.fd.valid()) ConnectIntr(intr);
    FlushIntr(intr);
}

void Vxi11Server::ConnectIntr(IntrChannel& intr) {
    intr.fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!intr.fd.valid()) {
        CloseIntr(intr);
        return;
    }
    const int on = 1;
    ::setsockopt(intr.fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(intr.fd.get(), reinterpret_cast<const sockaddr*>(&intr.to), sizeof intr.to) == 0)
        return;
    if (errno != EINPROGRESS) {
        CloseIntr(intr);
        return;
    }
    // The loop goes on; poll() says when the connection is made.
    intr.connecting = true;
    intr.connectBy = Clock::now() + kIntrConnectTime;
}

void Vxi11Server::ServeIntr(IntrChannel& intr, short revents) {
    if (intr.connecting) {
        if (revents == 0) {
            if (Clock::now() >= intr.connectBy) CloseIntr(intr);
            return;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(intr.fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            CloseIntr(intr);
            return;
        }
        intr.connecting = false;
    } else if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        uint8_t buffer[4096];
        const ssize_t count = ::recv(intr.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
            CloseIntr(intr);
            return;
        }
        // The replies to device_intr_srq carry nothing: each is read and dropped.
        for (size_t at = 0; count > 0 && at < static_cast<size_t>(count);) {
            size_t used = 0;
            const auto state = intr.replies.feed(buffer + at, count - at, &used);
            at += used;
            if (state == rpc::RecordReader::State::TooLong) {
                CloseIntr(intr);
                return;
            }
            intr.replies.next();
        }
    }
    FlushIntr(intr);
}

void Vxi11Server::FlushIntr(IntrChannel& intr) {
    while (intr.fd.valid() && !intr.connecting && !intr.unsent.empty()) {
        const ssize_t sent = ::send(intr.fd.get(), intr.unsent.data(), intr.unsent.size(),
                                    MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            intr.unsent.erase(0, static_cast<size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) CloseIntr(intr);
            return;
        }
    }
}

void Vxi11Server::CloseIntr(IntrChannel& intr) {
    // The calls not sent go with the connection; the next request opens a new one.
    intr.fd.Reset();
    intr.connecting = false;
    intr.unsent.clear();
    intr.replies = rpc::RecordReader();
}

void Vxi11Server::Write(Link& link, Device_Link lid, const Device_WriteParms& parms,
                        Device_WriteResp& resp) {
    // A new message makes the instrument discard an answer nobody read (IEEE 488.2).
    if (link.lines.empty()) {
        output_.clear();
        outputHead_ = 0;
    }
    resp.size = parms.data.data_len;
    std::string reply;
    const std::string who = "vxi11 " + std::to_string(lid);
    link.lines.Feed(std::string_view(parms.data.data_val, parms.data.data_len),
                    (parms.flags & kFlagEnd) != 0, responder_, who, [&](const std::string& line) {
                        reply += responder_.Run(who, line, link.count);
                        return true;
                    });
    if (reply.empty()) return;
    // The answer is there after --delay-ms; with --stall-after its head at once.
    if (output_.empty()) outputHead_ = 0;
    outputHead_ = output_.size() + std::min(faults_.stallAfter(), reply.size());
    output_ += reply;
    outputReadyAt_ = Clock::now() + std::chrono::milliseconds(faults_.delayMs());
}

void Vxi11Server::AnswerLockWait(Conn& conn) {
    const LockWait wait = *conn.lockWait;
    Link& link = links_.at(wait.lid);
    Device_Error result{};
    if (lock_.CanLock(&link, true, std::string())) {
        lock_.Grant(&link, true, std::string());
    } else if (Clock::now() >= wait.until) {
        result.error = kErrLocked;
    } else {
        return;  // waits on
    }
    conn.lockWait.reset();
    Reply(conn, wait.xid, SUCCESS, rpc::xdrProc(xdr_Device_Error), &result);
}

void Vxi11Server::AnswerRead(Conn& conn, bool timedOut) {
    const PendingRead& pending = *conn.read;
    const Device_ReadParms& p = pending.parms;
    Device_ReadResp resp{};
    std::string data;
    // What may go now: all once its time has come, before that the head that
    // --stall-after sends at once; --split bytes a read at most.
    size_t available =
        Clock::now() >= outputReadyAt_ ? output_.size() : std::min(outputHead_, output_.size());
    if (faults_.split() != 0) available = std::min(available, faults_.split());
    const bool ready = available > 0;
    const Device_ErrorCode linkError = Check(conn, p.lid);
    if (linkError != 0) {
        resp.error = linkError;
    } else if (ready) {
        size_t n = std::min<size_t>(available, std::max<u_long>(p.requestSize, 1));
        if (p.flags & kFlagTermChrSet) {
            const size_t hit = output_.find(p.termChar);
            if (hit != std::string::npos && hit < n) {
                n = hit + 1;
                resp.reason |= kReasonChr;
            }
        }
        data = output_.substr(0, n);
        output_.erase(0, n);
        outputHead_ -= std::min(outputHead_, n);
        if (output_.empty()) resp.reason |= kReasonEnd;
        if (n == p.requestSize) resp.reason |= kReasonReqCnt;
        resp.data.data_len = static_cast<u_int>(n);
        resp.data.data_val = data.data();
        if (verbose_) std::fprintf(stderr, "[vxi11 %ld] -> %zu bytes\n", p.lid, n);
    } else if (timedOut) {
        resp.error = kErrTimeout;
    } else {
        return;  // waits on
    }
    const uint32_t xid = pending.xid;
    conn.read.reset();
    const std::string& bad = faults_.badRecord();
    if (bad == "huge") {
        // A record mark that announces 2 GiB, and then nothing.
        SendTo(conn, std::string("\xff\xff\xff\xff", 4));
    } else if (bad == "junk") {
        // The reply's xid, then bytes that make no RPC reply.
        std::string record("\x80\0\0\x08\0\0\0\0", 8);
        rpc::putU32(&record[4], xid);
        SendTo(conn, record + "junk");
    } else {
        Reply(conn, xid, SUCCESS, rpc::xdrProc(xdr_Device_ReadResp), &resp);
    }
    if (conn.dropWhenAnswered && output_.empty()) {
        if (verbose_) std::fprintf(stderr, "[vxi11] dropping the connection\n");
        conn.closing = true;
    }
}

bool Vxi11Server::Abort(Conn& conn, const rpc::CallHeader& call, const std::string& record,
                        size_t at) {
    if (call.prog == DEVICE_ASYNC && call.vers == DEVICE_ASYNC_VERSION && call.proc == NULLPROC) {
        Reply(conn, call.xid, SUCCESS, rpc::xdrProc(xdr_void), nullptr);
        return true;
    }
    if (call.prog != DEVICE_ASYNC || call.proc != device_abort) {
        Reply(conn, call.xid, call.prog != DEVICE_ASYNC ? PROG_UNAVAIL : PROC_UNAVAIL, nullptr,
              nullptr);
        return true;
    }
    Call(conn, call.xid, record, at, xdr_Device_Link, xdr_Device_Error,
         [&](Device_Link& lid, Device_Error& r) {
             const auto link = links_.find(lid);
             r.error = link == links_.end() ? kErrInvalidLink : 0;
             if (r.error != 0 || !link->second.conn->read) return true;
             // The read in progress on that link ends at once with "abort".
             Conn& core = *link->second.conn;
             Device_ReadResp aborted{};
             aborted.error = kErrAbort;
             const uint32_t xid = core.read->xid;
             core.read.reset();
             Reply(core, xid, SUCCESS, rpc::xdrProc(xdr_Device_ReadResp), &aborted);
             return true;
         });
    return true;
}

}  // namespace qmdc::emu
