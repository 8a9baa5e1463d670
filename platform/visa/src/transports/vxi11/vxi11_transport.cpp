// vxi11_transport.cpp - opening a VXI-11 link and the core channel's calls.
#include "vxi11_transport.h"

#include <rpc/pmap_prot.h>

#include <algorithm>
#include <cstring>

#include "tcp_transport.h"
#include "vxi11_interrupt_channel.h"
#include "vxi11_read_resp.h"

namespace qmdc::visa {

namespace {

constexpr Device_Flags kWaitLock = 0x01;
constexpr Device_Flags kEnd = 0x08;
constexpr long kReasonChr = 0x02;
constexpr long kReasonEnd = 0x04;

// A call that has no timeout of its own (destroy_link, device_unlock, the
// end of the interrupt channel): the grace alone bounds it.
Deadline graceOnly() {
    return Deadline::after(0);
}
constexpr Device_ErrorCode kChannelEstablished = 29;

// destroy_intr_chan takes no arguments.
struct NoArgs {};
bool_t xdrNoArgs(XDR*, NoArgs*) {
    return TRUE;
}

struct ErrorMap {
    long code;
    ViStatus status;
};
const ErrorMap kErrors[] = {
    {0, VI_SUCCESS},
    {1, VI_ERROR_INV_PARAMETER},  // syntax error
    {3, VI_ERROR_RSRC_NFOUND},    // device not accessible
    {4, VI_ERROR_CONN_LOST},      // invalid link identifier
    {5, VI_ERROR_INV_PARAMETER},  // parameter error
    {6, VI_ERROR_IO},             // channel not established
    {8, VI_ERROR_NSUP_OPER},      // operation not supported
    {9, VI_ERROR_ALLOC},          // out of resources
    {11, VI_ERROR_RSRC_LOCKED},   // device locked by another link
    {12, VI_ERROR_SESN_NLOCKED},  // no lock held by this link
    {15, VI_ERROR_TMO},           // I/O timeout
    {17, VI_ERROR_IO},            // I/O error
    {21, VI_ERROR_RSRC_NFOUND},   // invalid address
    {23, VI_ERROR_ABORT},         // abort
    {29, VI_ERROR_IO},            // channel already established
};

// This end's IPv4 address (network order), also from an IPv4-mapped IPv6
// one; 0 when it has none.
uint32_t localIpv4(const TcpTransport& stream) {
    sockaddr_storage addr{};
    if (!stream.localAddress(&addr)) return 0;
    if (addr.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(addr).sin_addr.s_addr;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr;
    uint32_t v4 = 0;
    if (addr.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6))
        std::memcpy(&v4, &v6.s6_addr[12], 4);
    return v4;
}

// An RPC channel to host:port within the deadline, over a TCP connection with
// Nagle off; *local (when asked) gets this end's IPv4 address.
std::unique_ptr<RpcChannel> connectChannel(const std::string& host, ViUInt16 port, uint32_t prog,
                                           uint32_t vers, const Deadline& deadline,
                                           ViStatus* status, uint32_t* local = nullptr) {
    const int left = deadline.remainingMs();
    if (left == 0) {
        *status = VI_ERROR_TMO;
        return nullptr;
    }
    // A connection is never awaited without limit: a call with none gets
    // viOpen's default.
    std::unique_ptr<TcpTransport> stream =
        connectTcp(host, port, left < 0 ? openDeadline(0) : deadline, status);
    if (!stream) return nullptr;
    if (local != nullptr) *local = localIpv4(*stream);
    return std::make_unique<RpcChannel>(std::move(stream), prog, vers);
}

// The core channel's port from the portmapper (version 2, over TCP).
ViStatus lookUpCorePort(const std::string& host, const Deadline& deadline, ViUInt16* port) {
    ViStatus status = VI_SUCCESS;
    std::unique_ptr<RpcChannel> portmapper =
        connectChannel(host, PMAPPORT, PMAPPROG, PMAPVERS, deadline, &status);
    if (!portmapper) return status;
    pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    u_long found = 0;
    status = portmapper->call(PMAPPROC_GETPORT, xdr_pmap, query, xdr_u_long, &found, deadline);
    if (status != VI_SUCCESS) return status == VI_ERROR_TMO ? status : VI_ERROR_RSRC_NFOUND;
    if (found == 0 || found > 0xFFFF) return VI_ERROR_RSRC_NFOUND;  // no VXI-11 server there
    *port = static_cast<ViUInt16>(found);
    return VI_SUCCESS;
}

ViStatus createLink(const ResourceName& name, const Deadline& deadline,
                    Vxi11Transport::Link* link) {
    ViUInt16 corePort = 0;
    ViStatus status = lookUpCorePort(name.host, deadline, &corePort);
    if (status != VI_SUCCESS) return status;
    link->core = connectChannel(name.host, corePort, DEVICE_CORE, DEVICE_CORE_VERSION, deadline,
                                &status, &link->localAddress);
    if (!link->core) return status;
    Create_LinkParms parms{};
    parms.clientId = 0;
    parms.lockDevice = FALSE;
    parms.lock_timeout = 0;
    parms.device = const_cast<char*>(name.device.c_str());
    Create_LinkResp resp{};
    status = link->core->call(create_link, xdr_Create_LinkParms, parms, xdr_Create_LinkResp, &resp,
                              deadline);
    if (status != VI_SUCCESS) return status == VI_ERROR_TMO ? status : VI_ERROR_RSRC_NFOUND;
    if (resp.error != 0) return vxi11Status(resp.error);
    link->lid = resp.lid;
    // A server that accepts less than a byte per write could never be written to.
    link->maxRecvSize = std::max<u_long>(resp.maxRecvSize, 1);
    // Without an abort channel a call can still be cut short by closing the
    // connection; so its absence is no failure.
    ViStatus ignored = VI_SUCCESS;
    link->abort = connectChannel(name.host, resp.abortPort, DEVICE_ASYNC, DEVICE_ASYNC_VERSION,
                                 graceOnly().graced(), &ignored);
    return VI_SUCCESS;
}

}  // namespace

ViStatus vxi11Status(long error) {
    for (const ErrorMap& e : kErrors)
        if (e.code == error) return e.status;
    return VI_ERROR_IO;
}

Vxi11Transport::Vxi11Transport(Link link, std::string host, std::string device)
    : link_(std::move(link)), host_(std::move(host)), device_(std::move(device)) {}

Vxi11Transport::~Vxi11Transport() {
    stopServiceRequests();
    if (connectionLost_) return;  // after a close that cut a call short, this fails at once
    Device_Link lid = link_.lid;
    Device_Error result{};
    link_.core->call(destroy_link, xdr_Device_Link, lid, xdr_Device_Error, &result,
                     graceOnly().graced());
}

template <class Args, class Results>
ViStatus Vxi11Transport::coreCall(uint32_t proc, bool_t (*encode)(XDR*, Args*), const Args& args,
                                  bool_t (*decode)(XDR*, Results*), Results* results,
                                  const Deadline& deadline) {
    // busy_ is raised before interrupted_ is looked at, and interrupt() sets
    // interrupted_ before it looks at busy_: either this call sees the close,
    // or the close sees this call and aborts it.
    busy_ = true;
    struct Idle {
        std::atomic<bool>& busy;
        ~Idle() { busy = false; }
    } idle{busy_};
    if (interrupted_ || connectionLost_) return VI_ERROR_CONN_LOST;
    // The instrument has the time left as its io_timeout, and the grace to
    // say itself that it ran out. The grace is the whole VISA call's, given
    // once: a call that makes request after request (a read the instrument
    // answers without END for ever) starts none past it.
    const Deadline last = deadline.graced();
    if (last.expired()) return VI_ERROR_TMO;
    ViStatus status = link_.core->call(proc, encode, args, decode, results, last);
    if (status == VI_ERROR_TMO) {
        // The instrument did not even say that it timed out: it is told to
        // stop, and its late reply will be skipped by the next call.
        sendAbort(last);
    } else if (status == VI_ERROR_CONN_LOST) {
        connectionLost_ = true;
    }
    if (status == VI_SUCCESS) {
        status = vxi11Status(results->error);
        if (status != VI_SUCCESS) xdr_free(rpc::xdrProc(decode), reinterpret_cast<char*>(results));
    }
    // A call the close cut short (the server may have answered "abort") ends as every call
    // on a closing session does.
    if (status != VI_SUCCESS && interrupted_) return VI_ERROR_CONN_LOST;
    return status;
}

void Vxi11Transport::sendAbort(const Deadline& deadline) {
    std::lock_guard<std::mutex> lock(abortMutex_);
    if (!link_.abort) return;
    Device_Link lid = link_.lid;
    Device_Error result{};
    // Past the deadline the abort still goes out (a write tries before it
    // waits); its reply, not awaited then, is skipped by the next abort.
    if (link_.abort->call(device_abort, xdr_Device_Link, lid, xdr_Device_Error, &result,
                          deadline) == VI_ERROR_CONN_LOST)
        link_.abort.reset();
}

void Vxi11Transport::interrupt() {
    interrupted_ = true;
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        if (watch_) watch_->wake();
    }
    if (!busy_) return;  // no call to wake: the link is destroyed in good order
    sendAbort(graceOnly().graced());
    link_.core->stream().interrupt();
}

ViStatus Vxi11Transport::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    bool end = false;
    return readMessage(buf, cap, deadline, got, &end);
}

ViStatus Vxi11Transport::write(const ViByte* buf, size_t len, const Deadline& deadline,
                               size_t* sent) {
    return writeMessage(buf, len, true, deadline, sent);
}

ViStatus Vxi11Transport::readMessage(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got,
                                     bool* end) {
    *got = 0;
    *end = false;
    Device_ReadParms parms{};
    parms.lid = link_.lid;
    parms.requestSize = static_cast<u_long>(std::min<size_t>(cap, VXI11_MAX_DATA));
    parms.io_timeout = deadline.remainingVisaMs();
    parms.lock_timeout = parms.io_timeout;
    // Without termchrset: the read ends at the instrument's END, and the
    // session finds the termination character in what came.
    parms.flags = kWaitLock;
    Device_ReadResp resp{};
    const ViStatus status = coreCall(device_read, xdr_Device_ReadParms, parms,
                                     rpc::decodeDeviceReadResp, &resp, deadline);
    if (status != VI_SUCCESS) return status;
    const size_t n = resp.data.data_len;
    // More than was asked for is a broken server's, and never copied.
    const bool fits = n <= parms.requestSize;
    if (fits) {
        if (n > 0) std::memcpy(buf, resp.data.data_val, n);
        *got = n;
        *end = (resp.reason & (kReasonEnd | kReasonChr)) != 0;
    }
    xdr_free(rpc::xdrProc(xdr_Device_ReadResp), reinterpret_cast<char*>(&resp));
    return fits ? VI_SUCCESS : VI_ERROR_IO;
}

ViStatus Vxi11Transport::writeMessage(const ViByte* buf, size_t len, bool end,
                                      const Deadline& deadline, size_t* sent) {
    *sent = 0;
    // An empty message still carries its END.
    do {
        const size_t chunk = std::min<size_t>(len - *sent, link_.maxRecvSize);
        const bool last = *sent + chunk == len;
        Device_WriteParms parms{};
        parms.lid = link_.lid;
        parms.io_timeout = deadline.remainingVisaMs();
        parms.lock_timeout = parms.io_timeout;
        parms.flags = kWaitLock | (last && end ? kEnd : 0);
        parms.data.data_len = static_cast<u_int>(chunk);
        parms.data.data_val = const_cast<char*>(reinterpret_cast<const char*>(buf + *sent));
        Device_WriteResp resp{};
        const ViStatus status = coreCall(device_write, xdr_Device_WriteParms, parms,
                                         xdr_Device_WriteResp, &resp, deadline);
        if (status != VI_SUCCESS) return status;
        // A server that takes nothing would have this loop spin.
        if (resp.size == 0 && chunk != 0) return VI_ERROR_IO;
        *sent += std::min<size_t>(resp.size, chunk);
    } while (*sent < len);
    return VI_SUCCESS;
}

Device_GenericParms Vxi11Transport::genericParms(const Deadline& deadline) const {
    Device_GenericParms parms{};
    parms.lid = link_.lid;
    parms.flags = kWaitLock;
    parms.io_timeout = deadline.remainingVisaMs();
    parms.lock_timeout = parms.io_timeout;
    return parms;
}

ViStatus Vxi11Transport::generic(uint32_t proc, const Deadline& deadline) {
    Device_Error result{};
    return coreCall(proc, xdr_Device_GenericParms, genericParms(deadline), xdr_Device_Error,
                    &result, deadline);
}

ViStatus Vxi11Transport::readStatusByte(ViUInt16* stb, const Deadline& deadline) {
    Device_ReadStbResp resp{};
    const ViStatus status =
        coreCall(device_readstb, xdr_Device_GenericParms, genericParms(deadline),
                 xdr_Device_ReadStbResp, &resp, deadline);
    if (status == VI_SUCCESS) *stb = resp.stb;
    return status;
}

ViStatus Vxi11Transport::assertTrigger(const Deadline& deadline) {
    return generic(device_trigger, deadline);
}

ViStatus Vxi11Transport::deviceClear(const Deadline& deadline) {
    return generic(device_clear, deadline);
}

ViStatus Vxi11Transport::remoteLocal(ViUInt16 mode, const Deadline& deadline) {
    if (mode > 6) return VI_ERROR_INV_MODE;  // the seven VI_GPIB_REN_* requests
    // VI_GPIB_REN_DEASSERT (0), _DEASSERT_GTL (2) and _ADDRESS_GTL (6) return
    // the instrument to local control; the others put it in remote.
    const bool local = mode == 0 || mode == 2 || mode == 6;
    return generic(local ? device_local : device_remote, deadline);
}

ViStatus Vxi11Transport::lockDevice(ViAccessMode mode, const char* /*accessKey*/,
                                    ViUInt32 timeoutMs) {
    // VXI-11 locks are exclusive only; a shared lock is the library's own.
    if (mode != VI_EXCLUSIVE_LOCK) return VI_SUCCESS;
    Device_LockParms parms{};
    parms.lid = link_.lid;
    parms.flags = timeoutMs > 0 ? kWaitLock : 0;
    parms.lock_timeout = timeoutMs;
    Device_Error result{};
    const ViStatus status = coreCall(device_lock, xdr_Device_LockParms, parms, xdr_Device_Error,
                                     &result, Deadline::after(timeoutMs));
    if (status == VI_SUCCESS) deviceLocked_ = true;
    return status;
}

ViStatus Vxi11Transport::unlockDevice() {
    if (!deviceLocked_) return VI_SUCCESS;
    deviceLocked_ = false;
    Device_Link lid = link_.lid;
    Device_Error result{};
    return coreCall(device_unlock, xdr_Device_Link, lid, xdr_Device_Error, &result, graceOnly());
}

ViStatus Vxi11Transport::startServiceRequests(ServiceRequestSink raised, const Deadline& deadline) {
    if (watch_) return VI_SUCCESS;
    // create_intr_chan carries an IPv4 address only.
    if (link_.localAddress == 0) return VI_ERROR_NSUP_OPER;
    if (interrupted_ || connectionLost_) return VI_ERROR_CONN_LOST;
    ViStatus status = VI_SUCCESS;
    std::unique_ptr<InterruptChannel> channel =
        InterruptChannel::listen(link_.localAddress, &status);
    if (!channel) return status;
    // Names this link (and this watch) in the instrument's calls.
    static std::atomic<unsigned> watches{0};
    std::string handle = "qmdc " + std::to_string(link_.lid) + " " + std::to_string(++watches);
    Device_EnableSrqParms enable{};
    enable.lid = link_.lid;
    enable.enable = TRUE;
    enable.handle.handle_len = static_cast<u_int>(handle.size());
    enable.handle.handle_val = const_cast<char*>(handle.data());
    Device_RemoteFunc callBack{};
    callBack.hostAddr = ntohl(link_.localAddress);
    callBack.hostPort = channel->port();
    callBack.progNum = DEVICE_INTR;
    callBack.progVers = DEVICE_INTR_VERSION;
    callBack.progFamily = DEVICE_TCP;
    status = channel->start(handle, std::move(raised));
    if (status != VI_SUCCESS) return status;
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        watch_ = std::move(channel);
    }
    Device_Error result{};
    status = coreCall(create_intr_chan, xdr_Device_RemoteFunc, callBack, xdr_Device_Error, &result,
                      deadline);
    if (status != VI_SUCCESS && result.error == kChannelEstablished) {
        // A channel of an earlier watch whose teardown the instrument did not get.
        coreCall(destroy_intr_chan, xdrNoArgs, NoArgs{}, xdr_Device_Error, &result, deadline);
        status = coreCall(create_intr_chan, xdr_Device_RemoteFunc, callBack, xdr_Device_Error,
                          &result, deadline);
    }
    if (status == VI_SUCCESS)
        status = coreCall(device_enable_srq, xdr_Device_EnableSrqParms, enable, xdr_Device_Error,
                          &result, deadline);
    if (status != VI_SUCCESS) stopServiceRequests();
    return status;
}

void Vxi11Transport::endInterruptChannel(const Deadline& deadline) {
    Device_EnableSrqParms disable{};
    disable.lid = link_.lid;
    disable.enable = FALSE;
    Device_Error result{};
    coreCall(device_enable_srq, xdr_Device_EnableSrqParms, disable, xdr_Device_Error, &result,
             deadline);
    coreCall(destroy_intr_chan, xdrNoArgs, NoArgs{}, xdr_Device_Error, &result, deadline);
}

void Vxi11Transport::stopServiceRequests() {
    if (!watch_) return;
    // After a close (interrupt) these fail at once; the instrument then
    // learns it from destroy_link or the connection's end.
    endInterruptChannel(graceOnly());
    std::unique_ptr<InterruptChannel> channel;
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        channel = std::move(watch_);
    }
    channel->stop();
}

ViStatus Vxi11Transport::getAttribute(ViAttr attr, AttrValue* out) {
    switch (attr) {
        case VI_ATTR_TCPIP_ADDR:
            return link_.core->stream().getAttribute(VI_ATTR_TCPIP_ADDR, out);
        case VI_ATTR_TCPIP_HOSTNAME:
            out->setString(host_.c_str());
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_DEVICE_NAME:
            out->setString(device_.c_str());
            return VI_SUCCESS;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

std::unique_ptr<Transport> openVxi11(const ResourceName& name, ViUInt32 openTimeoutMs,
                                     ViStatus* status) {
    const Deadline deadline = openDeadline(openTimeoutMs);
    Vxi11Transport::Link link;
    *status = createLink(name, deadline, &link);
    if (*status != VI_SUCCESS) return nullptr;
    return std::make_unique<Vxi11Transport>(std::move(link), name.host, name.device);
}

}  // namespace qmdc::visa
