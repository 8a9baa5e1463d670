// tcp_transport.cpp - TCPIP::host::port::SOCKET over a POSIX socket.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fd_transport.h"

namespace qmdc::visa {

namespace {

class TcpTransport final : public FdTransport {
  public:
    TcpTransport(int fd, const ResourceName& name, const std::string& address)
        : FdTransport(fd, true), host_(name.host), address_(address), port_(name.port) {}

    // Besides waking every wait, tells the instrument at once that the
    // connection is over; the descriptor stays valid until the last user of
    // the session has gone.
    void interrupt() override {
        FdTransport::interrupt();
        ::shutdown(fd_, SHUT_RDWR);
    }

    EndRules endRules() const override {
        EndRules rules;
        rules.pauseEndsRead = !suppressEnd_;
        return rules;
    }

    ViStatus getAttribute(ViAttr attr, AttrValue* out) override {
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

    ViStatus setAttribute(ViAttr attr, ViUInt32 value) override {
        const int on = value != 0;
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

    ViStatus setOption(int level, int option, int on) {
        return ::setsockopt(fd_, level, option, &on, sizeof on) == 0 ? VI_SUCCESS
                                                                     : VI_ERROR_NSUP_ATTR_STATE;
    }

  private:
    ViStatus getOption(int level, int option, AttrValue* out) const {
        int on = 0;
        socklen_t len = sizeof on;
        if (::getsockopt(fd_, level, option, &on, &len) != 0) return VI_ERROR_IO;
        out->num = on != 0;
        return VI_SUCCESS;
    }

    const std::string host_;
    const std::string address_;
    const ViUInt16 port_;
    bool suppressEnd_ = true;  // a SOCKET read ends on termchar, count or timeout
};

// A non-blocking connect to one address, bounded by the deadline.
int connectTo(const addrinfo* ai, const Deadline& deadline) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (fd < 0) return -1;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
#ifdef SO_NOSIGPIPE
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        do {
            rc = ::poll(&p, 1, deadline.remainingMs());
        } while ((rc < 0 && errno == EINTR) || (rc == 0 && !deadline.expired()));
        int err = 0;
        socklen_t len = sizeof err;
        rc = rc > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0 ? 0 : -1;
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string peerAddress(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char text[NI_MAXHOST] = "";
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        ::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST);
    return text;
}

}  // namespace

std::unique_ptr<Transport> openTcpSocket(const ResourceName& name, ViUInt32 openTimeoutMs,
                                         ViStatus* status) {
    *status = VI_ERROR_RSRC_NFOUND;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(name.port);
    if (::getaddrinfo(name.host.c_str(), port.c_str(), &hints, &list) != 0) return nullptr;
    const Deadline deadline = Deadline::after(openTimeoutMs == 0 ? 2000 : openTimeoutMs);
    int fd = -1;
    for (const addrinfo* ai = list; ai != nullptr && fd < 0 && !deadline.expired();
         ai = ai->ai_next)
        fd = connectTo(ai, deadline);
    ::freeaddrinfo(list);
    if (fd < 0) return nullptr;
    std::unique_ptr<TcpTransport> transport =
        adoptDescriptor<TcpTransport>(fd, status, name, peerAddress(fd));
    if (!transport) return nullptr;
    // Small SCPI commands must leave at once, not wait for Nagle's algorithm.
    transport->setOption(IPPROTO_TCP, TCP_NODELAY, 1);
    *status = VI_SUCCESS;
    return transport;
}

}  // namespace qmdc::visa
