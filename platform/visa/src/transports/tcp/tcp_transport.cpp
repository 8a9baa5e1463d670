// tcp_transport.cpp - opening TCPIP::host::port::SOCKET and its attributes,
// the same on every platform (socket_api.h hides what is not).
#include "tcp_transport.h"

#include <memory>

#include "adopt_handle.h"
#include "open_failure.h"

namespace qmdc::visa {

ViStatus TcpTransport::getAttribute(ViAttr attr, AttrValue* out) {
    switch (attr) {
        case VI_ATTR_TCPIP_ADDR:
            out->setString(address_.c_str());
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_HOSTNAME:
            out->setString(host_.c_str());
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_PORT:
            out->num = port_;
            return VI_SUCCESS;
        case VI_ATTR_SUPPRESS_END_EN:
            out->num = suppressEnd_;
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_NODELAY:
            return getOption(IPPROTO_TCP, TCP_NODELAY, out);
        case VI_ATTR_TCPIP_KEEPALIVE:
            return getOption(SOL_SOCKET, SO_KEEPALIVE, out);
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus TcpTransport::setAttribute(ViAttr attr, ViUInt32 value) {
    const bool on = value != 0;
    switch (attr) {
        case VI_ATTR_SUPPRESS_END_EN:
            suppressEnd_ = on;
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_NODELAY:
            return setOption(IPPROTO_TCP, TCP_NODELAY, on);
        case VI_ATTR_TCPIP_KEEPALIVE:
            return setOption(SOL_SOCKET, SO_KEEPALIVE, on);
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

bool TcpTransport::localAddress(sockaddr_storage* addr) const {
    socklen_t len = sizeof *addr;
    return ::getsockname(socket_, reinterpret_cast<sockaddr*>(addr), &len) == 0;
}

ViStatus TcpTransport::getOption(int level, int option, AttrValue* out) const {
    bool on = false;
    if (!net::getFlag(socket_, level, option, &on)) return VI_ERROR_IO;
    out->num = on;
    return VI_SUCCESS;
}

namespace {

// A connection to one address, made within the deadline. A socket that
// could not be made for want of resources sets `shortage` to the reason.
net::Socket connectTo(const addrinfo* ai, const Deadline& deadline, std::string& shortage) {
    const net::Socket s = net::openStreamSocket(ai);
    if (s == net::kNoSocket) shortage = net::resourceShortage();
    if (s == net::kNoSocket || net::connectWithin(s, ai, deadline)) return s;
    net::closeSocket(s);
    return net::kNoSocket;
}

std::string peerAddress(net::Socket s) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char text[NI_MAXHOST] = "";
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        ::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST);
    return text;
}

}  // namespace

std::unique_ptr<TcpTransport> connectTcp(const std::string& host, ViUInt16 port,
                                         const Deadline& deadline, ViStatus* status) {
    *status = VI_ERROR_RSRC_NFOUND;
    if (!net::startup()) {
        *status = VI_ERROR_SYSTEM_ERROR;
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return nullptr;
    net::Socket s = net::kNoSocket;
    std::string shortage;
    for (const addrinfo* ai = list; ai != nullptr && s == net::kNoSocket && !deadline.expired();
         ai = ai->ai_next)
        s = connectTo(ai, deadline, shortage);
    ::freeaddrinfo(list);
    if (s == net::kNoSocket) {
        // Out of descriptors is no reason to look for the instrument.
        if (!shortage.empty()) {
            *status = VI_ERROR_ALLOC;
            noteOpenFailure(shortage + ": no socket could be made.");
        }
        return nullptr;
    }

    std::unique_ptr<TcpTransport> transport =
        adoptHandle<TcpTransport>(s, net::closeSocket, status, host, peerAddress(s), port);
    if (!transport) return nullptr;
    // Small SCPI commands must leave at once, not wait for Nagle's algorithm.
    transport->setOption(IPPROTO_TCP, TCP_NODELAY, true);
    *status = VI_SUCCESS;
    return transport;
}

std::unique_ptr<Transport> openTcpSocket(const ResourceName& name, ViUInt32 openTimeoutMs,
                                         ViStatus* status) {
    std::unique_ptr<TcpTransport> transport =
        connectTcp(name.host, name.port, openDeadline(openTimeoutMs), status);
    // Nothing answers a SOCKET command, so a peer's close shows only here.
    if (transport) transport->checkPeerBeforeWrites();
    return transport;
}

}  // namespace qmdc::visa
