// The emulator the instrument benchmarks talk to, and a plain socket to it:
// the floor any driver stands on, sending the same bytes as the driver.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "emulator_process.h"

namespace qmdc_bench {

// One emulator for the whole program, started on first use.
inline qmdc::testing::EmulatorProcess& Emulator() {
    static qmdc::testing::EmulatorProcess emulator;
    return emulator;
}

// A connected socket to an emulator's TCPIP0::127.0.0.1::<port>::SOCKET (by
// default the one above), with Nagle's algorithm off as in our VISA; -1 when
// it cannot connect.
inline int ConnectPlain(const std::string& resource = Emulator().resource()) {
    const auto end = resource.rfind("::");
    const auto start = resource.rfind("::", end - 1) + 2;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port =
        htons(static_cast<uint16_t>(std::atoi(resource.substr(start, end - start).c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Writes the bytes and, for a query, reads to the line feed as a VISA read
// with the termination character does.
inline bool Exchange(int fd, const char* bytes, bool answer) {
    const size_t length = std::strlen(bytes);
    if (write(fd, bytes, length) != static_cast<ssize_t>(length)) return false;
    if (!answer) return true;
    char reply[512];
    size_t have = 0;
    while (have == 0 || reply[have - 1] != '\n') {
        const ssize_t n = read(fd, reply + have, sizeof reply - have);
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace qmdc_bench
