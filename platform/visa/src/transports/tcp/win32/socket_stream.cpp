// socket_stream.cpp - event-bounded reads and writes on a Winsock socket.
#include "socket_stream.h"

#include <algorithm>
#include <climits>

namespace qmdc::visa {

namespace {

ViStatus socketErrorStatus(int err) {
    switch (err) {
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENETRESET:
        case WSAENOTCONN:
        case WSAESHUTDOWN:
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAENETDOWN:
            return VI_ERROR_CONN_LOST;
        default:
            return VI_ERROR_IO;
    }
}

// recv and send take an int count.
int chunk(size_t n) {
    return static_cast<int>(std::min<size_t>(n, INT_MAX));
}

}  // namespace

SocketStream::SocketStream(SOCKET s) noexcept
    : socket_(s), network_(::WSACreateEvent()), wake_(::WSACreateEvent()) {
    ready_ = network_ != WSA_INVALID_EVENT && wake_ != WSA_INVALID_EVENT &&
             ::WSAEventSelect(socket_, network_, FD_READ | FD_WRITE | FD_CLOSE) == 0;
}

SocketStream::~SocketStream() {
    ::closesocket(socket_);
    if (network_ != WSA_INVALID_EVENT) ::WSACloseEvent(network_);
    if (wake_ != WSA_INVALID_EVENT) ::WSACloseEvent(wake_);
}

void SocketStream::interrupt() {
    interrupted_ = true;
    ::WSASetEvent(wake_);
}

ViStatus SocketStream::wait(const Deadline& deadline, const WakeSignal* also) {
    const WSAEVENT events[3] = {network_, wake_, also ? also->event() : WSA_INVALID_EVENT};
    const DWORD count = also ? 3 : 2;
    for (;;) {
        const int ms = deadline.remainingMs();
        const DWORD r = ::WSAWaitForMultipleEvents(count, events, FALSE,
                                                   ms < 0 ? WSA_INFINITE : DWORD(ms), FALSE);
        if (interrupted_ || r == WSA_WAIT_EVENT_0 + 1) return VI_ERROR_CONN_LOST;
        if (r == WSA_WAIT_EVENT_0) {
            // Network events are recorded once each (FD_READ again after the
            // next recv, FD_WRITE after a send that would block): reading them
            // resets the event, and the caller tries its call again.
            WSANETWORKEVENTS happened;
            ::WSAEnumNetworkEvents(socket_, network_, &happened);
            return VI_SUCCESS;
        }
        if (r == WSA_WAIT_EVENT_0 + 2) return VI_SUCCESS;  // `also` was raised
        if (r == WSA_WAIT_TIMEOUT && deadline.expired()) return VI_ERROR_TMO;
        if (r != WSA_WAIT_TIMEOUT) return VI_ERROR_IO;
    }
}

ViStatus SocketStream::awaitInputOr(const WakeSignal& also) {
    if (interrupted_) return VI_ERROR_CONN_LOST;
    // A look first: FD_READ is recorded once until the next recv, so input
    // that came before the wait may have left no event behind. Anything but
    // "nothing yet" (input, the peer's close, an error) is for the read.
    char peek;
    if (::recv(socket_, &peek, 1, MSG_PEEK) >= 0 || ::WSAGetLastError() != WSAEWOULDBLOCK)
        return VI_SUCCESS;
    return wait(Deadline::after(VI_TMO_INFINITE), &also);
}

ViStatus SocketStream::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    *got = 0;
    for (;;) {
        if (interrupted_) return VI_ERROR_CONN_LOST;
        const int n = ::recv(socket_, reinterpret_cast<char*>(buf), chunk(cap), 0);
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return VI_SUCCESS;
        }
        if (n == 0) return VI_ERROR_CONN_LOST;  // the peer closed the connection
        const int err = ::WSAGetLastError();
        if (err == WSAEINTR) continue;
        if (err != WSAEWOULDBLOCK) return socketErrorStatus(err);
        const ViStatus status = wait(deadline);
        if (status != VI_SUCCESS) return status;
    }
}

ViStatus SocketStream::write(const ViByte* buf, size_t len, const Deadline& deadline,
                             size_t* sent) {
    *sent = 0;
    while (*sent < len) {
        if (interrupted_) return VI_ERROR_CONN_LOST;
        const int n =
            ::send(socket_, reinterpret_cast<const char*>(buf + *sent), chunk(len - *sent), 0);
        if (n > 0) {
            *sent += static_cast<size_t>(n);
            continue;
        }
        const int err = ::WSAGetLastError();
        if (err == WSAEINTR) continue;
        if (err != WSAEWOULDBLOCK) return socketErrorStatus(err);
        const ViStatus status = wait(deadline);
        if (status != VI_SUCCESS) return status;
    }
    return VI_SUCCESS;
}

void SocketStream::discardInput() {
    char scratch[4096];
    // Bounded, so that a peer that never stops sending cannot keep us here.
    for (int i = 0; i < 64; ++i)
        if (::recv(socket_, scratch, sizeof scratch, 0) <= 0) return;
}

}  // namespace qmdc::visa
