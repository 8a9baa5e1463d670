// Sockets on the loopback address at a port the system picks: a listening one
// for the scripted instruments of the tests and the fuzz targets, and a bound
// one that never listens, where a connection is refused at once.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace qmdc_test {

// A socket bound to the loopback address, with its port in *port; -1 when it
// cannot be made.
inline int BindLoopback(int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// The listening socket, with its port in *port; -1 when it cannot be made.
inline int ListenOnLoopback(int* port) {
    const int fd = BindLoopback(port);
    if (fd >= 0 && listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A TCP resource on the loopback address where a connection is refused: its
// port is bound but never listens, and the socket stays open for the rest of
// the process, so no other socket can take the port meanwhile.
inline const std::string& ClosedLoopbackResource() {
    static const std::string resource = [] {
        int port = 1;  // port 1 on loopback when no port can be bound: nothing listens there
        BindLoopback(&port);
        return "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
    }();
    return resource;
}

}  // namespace qmdc_test
