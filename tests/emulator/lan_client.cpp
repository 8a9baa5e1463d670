#include "lan_client.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qmdc::emu::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool SendAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

in_addr_t AddressOf(const std::string& resource) {
    const size_t start = resource.find("::") + 2;
    const std::string host = resource.substr(start, resource.find("::", start) - start);
    in_addr_t address = 0;
    ::inet_pton(AF_INET, host.c_str(), &address);
    return address;
}

int ConnectTo(in_addr_t address, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }
    if (fd >= 0) ::close(fd);
    return -1;
}

RpcConnection::~RpcConnection() {
    Close();
}

void RpcConnection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint32_t RpcConnection::Send(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t encode,
                             const void* args) {
    const uint32_t xid = ++xid_;
    std::string out;
    if (rpc::encodeCall(rpc::CallHeader{xid, prog, vers, proc}, encode, args, &out))
        SendAll(fd_, out);
    return xid;
}

rpc::ReplyKind RpcConnection::Receive(uint32_t xid, xdrproc_t decode, void* results,
                                      int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0 || ::poll(&p, 1, MsLeft(deadline)) <= 0) return rpc::ReplyKind::Malformed;
        uint8_t buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return rpc::ReplyKind::Malformed;
        for (size_t at = 0; at < static_cast<size_t>(n);) {
            size_t used = 0;
            const auto state = reader_.feed(buffer + at, static_cast<size_t>(n) - at, &used);
            at += used;
            if (state == rpc::RecordReader::State::TooLong) return rpc::ReplyKind::Malformed;
            if (state != rpc::RecordReader::State::Complete) break;
            const std::string record = reader_.record();
            reader_.next();
            const rpc::ReplyKind kind = rpc::decodeReply(record, xid, decode, results);
            if (kind != rpc::ReplyKind::OtherXid) return kind;  // (the rest of n is not used)
        }
    }
}

rpc::ReplyKind RpcConnection::Null(uint32_t prog, uint32_t vers, int timeoutMs) {
    return Receive(Send(prog, vers, 0, rpc::xdrProc(xdr_void), nullptr), rpc::xdrProc(xdr_void),
                   nullptr, timeoutMs);
}

uint16_t GetPort(in_addr_t address, uint32_t prog, uint32_t vers) {
    RpcConnection portmapper(address, PMAPPORT);
    pmap query{prog, vers, IPPROTO_TCP, 0};
    u_long port = 0;
    if (portmapper.Call(PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, xdr_pmap, query, xdr_u_long, &port) !=
        rpc::ReplyKind::Success)
        return 0;
    return static_cast<uint16_t>(port);
}

Vxi11Client::Vxi11Client(in_addr_t host)
    : address(host), port(GetPort(host, DEVICE_CORE, DEVICE_CORE_VERSION)), core(host, port) {}

long Vxi11Client::CreateLink(const std::string& device, Device_Link* lid, bool lockDevice) {
    Create_LinkParms parms{0, lockDevice, 0, const_cast<char*>(device.c_str())};
    Create_LinkResp resp{};
    if (core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, create_link, xdr_Create_LinkParms, parms,
                  xdr_Create_LinkResp, &resp) != rpc::ReplyKind::Success)
        return -1;
    *lid = resp.lid;
    abortPort = resp.abortPort;
    return resp.error;
}

long Vxi11Client::DestroyLink(Device_Link lid) {
    Device_Error resp{};
    return core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, destroy_link, xdr_Device_Link, lid,
                     xdr_Device_Error, &resp) == rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

long Vxi11Client::Write(Device_Link lid, const std::string& data, long flags) {
    Device_WriteParms parms{
        lid, 2000, 0, flags, {static_cast<u_int>(data.size()), const_cast<char*>(data.data())}};
    Device_WriteResp resp{};
    return core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, device_write, xdr_Device_WriteParms, parms,
                     xdr_Device_WriteResp, &resp) == rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

std::optional<std::string> Vxi11Client::Read(Device_Link lid, long* error,
                                             unsigned long ioTimeoutMs) {
    Device_ReadParms parms{lid, 65536, ioTimeoutMs, 0, 0, 0};
    Device_ReadResp resp{};
    *error = -1;
    if (core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, device_read, xdr_Device_ReadParms, parms,
                  xdr_Device_ReadResp, &resp,
                  static_cast<int>(ioTimeoutMs) + 3000) != rpc::ReplyKind::Success)
        return std::nullopt;
    *error = resp.error;
    std::optional<std::string> data;
    if (resp.error == 0) data = std::string(resp.data.data_val, resp.data.data_len);
    xdr_free(rpc::xdrProc(xdr_Device_ReadResp), reinterpret_cast<char*>(&resp));
    return data;
}

uint32_t Vxi11Client::SendLock(Device_Link lid, long flags, unsigned long lockTimeoutMs) {
    Device_LockParms parms{lid, flags, lockTimeoutMs};
    return core.Send(DEVICE_CORE, DEVICE_CORE_VERSION, device_lock,
                     rpc::xdrProc(xdr_Device_LockParms), &parms);
}

long Vxi11Client::LockReply(uint32_t xid, int timeoutMs) {
    Device_Error resp{};
    return core.Receive(xid, rpc::xdrProc(xdr_Device_Error), &resp, timeoutMs) ==
                   rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

long Vxi11Client::Lock(Device_Link lid, long flags, unsigned long lockTimeoutMs) {
    return LockReply(SendLock(lid, flags, lockTimeoutMs), static_cast<int>(lockTimeoutMs) + 3000);
}

long Vxi11Client::Unlock(Device_Link lid) {
    Device_Error resp{};
    return core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, device_unlock, xdr_Device_Link, lid,
                     xdr_Device_Error, &resp) == rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

long Vxi11Client::CreateIntrChannel(in_addr_t hostAddr, uint16_t intrPort) {
    Device_RemoteFunc parms{ntohl(hostAddr), intrPort, DEVICE_INTR, DEVICE_INTR_VERSION,
                            DEVICE_TCP};
    Device_Error resp{};
    return core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, create_intr_chan, xdr_Device_RemoteFunc,
                     parms, xdr_Device_Error, &resp) == rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

long Vxi11Client::EnableSrq(Device_Link lid, const std::string& handle) {
    Device_EnableSrqParms parms{
        lid, TRUE, {static_cast<u_int>(handle.size()), const_cast<char*>(handle.data())}};
    Device_Error resp{};
    return core.Call(DEVICE_CORE, DEVICE_CORE_VERSION, device_enable_srq, xdr_Device_EnableSrqParms,
                     parms, xdr_Device_Error, &resp) == rpc::ReplyKind::Success
               ? resp.error
               : -1;
}

std::string UdpCallRecord(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc,
                          xdrproc_t encode, const void* args) {
    std::string out;
    rpc::encodeCall(rpc::CallHeader{xid, prog, vers, proc}, encode, args, &out);
    return out.size() > 4 ? out.substr(4) : std::string();
}

std::string UdpCall(in_addr_t address, uint16_t port, const std::string& call, int timeoutMs,
                    bool broadcast, in_addr_t* from, in_addr_t onlyFrom) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0) return std::string();
    if (broadcast) ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    std::string reply;
    if (::sendto(fd, call.data(), call.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
        static_cast<ssize_t>(call.size())) {
        // Other emulators of tests running alongside answer a broadcast too:
        // with onlyFrom, their answers are passed over until the one wanted.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
            char buffer[9000];
            sockaddr_in sender{};
            socklen_t length = sizeof sender;
            const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&sender), &length);
            if (n <= 0) break;
            if (onlyFrom != 0 && sender.sin_addr.s_addr != onlyFrom) continue;
            reply.assign(buffer, static_cast<size_t>(n));
            if (from != nullptr) *from = sender.sin_addr.s_addr;
            break;
        }
    }
    ::close(fd);
    return reply;
}

HislipSession::HislipSession(uint16_t port) {
    using hislip::Type;
    const in_addr_t loopback = htonl(INADDR_LOOPBACK);
    sync_ = ConnectTo(loopback, port);
    if (sync_ < 0 || !SendSync(Type::Initialize, 0,
                               uint32_t{hislip::kProtocolVersion} << 16 | 0x5445, "hislip0"))
        return;
    const auto init = ReadSync();
    if (!init || init->type() != Type::InitializeResponse) return;
    id_ = static_cast<uint16_t>(init->header.parameter & 0xFFFF);
    async_ = ConnectTo(loopback, port);
    if (async_ < 0 || !SendAsync(Type::AsyncInitialize, 0, id_)) return;
    const auto asyncInit = ReadAsync();
    ok_ = asyncInit && asyncInit->type() == Type::AsyncInitializeResponse;
}

HislipSession::~HislipSession() {
    if (sync_ >= 0) ::close(sync_);
    if (async_ >= 0) ::close(async_);
}

bool HislipSession::SendSync(hislip::Type type, uint8_t control, uint32_t parameter,
                             const std::string& payload) {
    return SendAll(sync_, hislip::message(type, control, parameter, payload));
}

bool HislipSession::SendAsync(hislip::Type type, uint8_t control, uint32_t parameter,
                              const std::string& payload) {
    return SendAll(async_, hislip::message(type, control, parameter, payload));
}

std::optional<hislip::Message> HislipSession::Read(int fd, hislip::Decoder& decoder,
                                                   int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        hislip::Message message;
        const auto result = decoder.next(&message);
        if (result == hislip::Decoder::Result::Message) return message;
        if (result != hislip::Decoder::Result::NeedMore) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (fd < 0 || ::poll(&p, 1, MsLeft(deadline)) <= 0) return std::nullopt;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        decoder.feed(buffer, static_cast<size_t>(n));
    }
}

std::optional<hislip::Message> HislipSession::ReadSync(int timeoutMs) {
    return Read(sync_, syncIn_, timeoutMs);
}

std::optional<hislip::Message> HislipSession::ReadAsync(int timeoutMs) {
    return Read(async_, asyncIn_, timeoutMs);
}

std::optional<std::string> HislipSession::Query(const std::string& line, int timeoutMs) {
    const uint32_t id = messageId_;
    messageId_ += 2;
    if (!SendSync(hislip::Type::DataEnd, 0, id, line + "\n")) return std::nullopt;
    std::string answer;
    for (;;) {
        const auto message = ReadSync(timeoutMs);
        if (!message) return std::nullopt;
        if (message->type() != hislip::Type::Data && message->type() != hislip::Type::DataEnd)
            continue;
        answer += message->payload;
        if (message->type() == hislip::Type::DataEnd) return answer;
    }
}

HislipInit InitializeOnly(uint16_t port) {
    HislipInit init;
    init.fd = ConnectTo(htonl(INADDR_LOOPBACK), port);
    if (init.fd < 0 ||
        !SendAll(init.fd, hislip::message(hislip::Type::Initialize, 0,
                                          uint32_t{hislip::kProtocolVersion} << 16, "hislip0")))
        return init;
    hislip::Decoder decoder(65536);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(3000);
    for (;;) {
        hislip::Message message;
        if (decoder.next(&message) == hislip::Decoder::Result::Message) {
            init.answer = message;
            return init;
        }
        pollfd p{init.fd, POLLIN, 0};
        if (::poll(&p, 1, MsLeft(deadline)) <= 0) return init;
        char buffer[4096];
        const ssize_t n = ::recv(init.fd, buffer, sizeof buffer, 0);
        if (n <= 0) return init;
        decoder.feed(buffer, static_cast<size_t>(n));
    }
}

}  // namespace qmdc::emu::test
