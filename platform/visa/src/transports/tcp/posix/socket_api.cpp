// socket_api.cpp - the socket calls of tcp_transport.cpp on POSIX systems.
#include "socket_api.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "descriptor.h"

namespace qmdc::visa::net {

bool startup() {
    return true;
}

Socket openStreamSocket(const addrinfo* ai) {
    const int fd = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (fd < 0) return kNoSocket;
    makeNonBlocking(fd);
#ifdef SO_NOSIGPIPE
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    return fd;
}

std::string resourceShortage() {
    const int err = errno;
    return isResourceShortage(err) ? std::generic_category().message(err) : std::string();
}

bool connectWithin(Socket s, const addrinfo* ai, const Deadline& deadline) {
    if (::connect(s, ai->ai_addr, ai->ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{s, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, deadline.remainingMs());
    } while ((rc < 0 && errno == EINTR) || (rc == 0 && !deadline.expired()));
    int err = 0;
    socklen_t len = sizeof err;
    return rc > 0 && ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

void closeSocket(Socket s) {
    ::close(s);
}

bool setFlag(Socket s, int level, int option, bool on) {
    const int value = on;
    return ::setsockopt(s, level, option, &value, sizeof value) == 0;
}

bool getFlag(Socket s, int level, int option, bool* on) {
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(s, level, option, &value, &len) != 0) return false;
    *on = value != 0;
    return true;
}

void shutdownBoth(Socket s) {
    ::shutdown(s, SHUT_RDWR);
}

}  // namespace qmdc::visa::net
