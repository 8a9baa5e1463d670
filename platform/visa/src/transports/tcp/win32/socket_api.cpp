// socket_api.cpp - the socket calls of tcp_transport.cpp with Winsock 2.
#include "socket_api.h"

namespace qmdc::visa::net {

bool startup() {
    // Once per process and never undone: WSACleanup belongs to the program,
    // and a DLL may not call it while other DLLs still use sockets.
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

Socket openStreamSocket(const addrinfo* ai) {
    const SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (s == INVALID_SOCKET) return kNoSocket;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    return s;  // Winsock raises no signal on a closed peer
}

std::string resourceShortage() {
    switch (::WSAGetLastError()) {
        case WSAEMFILE:
            return "Too many open sockets";
        case WSAENOBUFS:
            return "No buffer space available";
        default:
            return std::string();
    }
}

bool connectWithin(Socket s, const addrinfo* ai, const Deadline& deadline) {
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    // A refused connection shows in the exception set, not the write set.
    for (;;) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        const int ms = deadline.remainingMs();
        timeval wait{ms / 1000, (ms % 1000) * 1000};
        const int rc = ::select(0, nullptr, &writable, &failed, ms < 0 ? nullptr : &wait);
        if (rc < 0 || FD_ISSET(s, &failed)) return false;
        if (rc > 0) break;
        if (deadline.expired()) return false;
    }
    int err = 0;
    int len = sizeof err;
    return ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
           err == 0;
}

void closeSocket(Socket s) {
    ::closesocket(s);
}

bool setFlag(Socket s, int level, int option, bool on) {
    const BOOL value = on;
    return ::setsockopt(s, level, option, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool getFlag(Socket s, int level, int option, bool* on) {
    BOOL value = FALSE;
    int len = sizeof value;
    if (::getsockopt(s, level, option, reinterpret_cast<char*>(&value), &len) != 0) return false;
    *on = value != FALSE;
    return true;
}

void shutdownBoth(Socket s) {
    ::shutdown(s, SD_BOTH);
}

}  // namespace qmdc::visa::net
