// fd_transport.cpp - poll()-bounded reads and writes on a descriptor.
#include "fd_transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qmdc::visa {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer gives EPIPE, not SIGPIPE
#else
constexpr int kSendFlags = 0;
#endif

ViStatus errnoStatus(int err) {
    switch (err) {
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case EPIPE:
        case EIO:
        case ETIMEDOUT:
        case ESHUTDOWN:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return VI_ERROR_CONN_LOST;
        default:
            return VI_ERROR_IO;
    }
}

}  // namespace

FdTransport::~FdTransport() {
    ::close(fd_);
}

void FdTransport::interrupt() {
    interrupted_ = true;
    wake_.raise();
}

ViStatus FdTransport::wait(short events, const Deadline& deadline, short* revents,
                           const WakeSignal* also) {
    for (;;) {
        // poll() passes over a negative descriptor.
        pollfd p[3] = {
            {fd_, events, 0}, {wake_.fd(), POLLIN, 0}, {also ? also->fd() : -1, POLLIN, 0}};
        const int r = ::poll(p, 3, deadline.remainingMs());
        if (r > 0 && p[1].revents != 0) return VI_ERROR_CONN_LOST;  // the session is closing
        if (r > 0) {
            *revents = p[0].revents;
            return VI_SUCCESS;
        }
        if (r == 0 && deadline.expired()) return VI_ERROR_TMO;
        if (r < 0 && errno != EINTR) return VI_ERROR_IO;
    }
}

bool FdTransport::hungUp() {
#ifdef POLLRDHUP
    const short peerClosed = socket_ ? POLLRDHUP : 0;  // a socket whose peer has closed
#else
    const short peerClosed = 0;
#endif
    pollfd p{fd_, static_cast<short>(POLLIN | peerClosed), 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL | peerClosed)) != 0;
}

ViStatus FdTransport::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    *got = 0;
    if (interrupted_) return VI_ERROR_CONN_LOST;
    for (;;) {
        const ssize_t n = socket_ ? ::recv(fd_, buf, cap, 0) : ::read(fd_, buf, cap);
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return VI_SUCCESS;
        }
        // A socket reads 0 at the peer's close; a raw terminal (VMIN 0) also
        // when it is merely empty, so it is asked whether the line hung up.
        if (n == 0 && (socket_ || hungUp())) return VI_ERROR_CONN_LOST;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errnoStatus(errno);
        short revents = 0;
        const ViStatus status = wait(POLLIN, deadline, &revents);
        if (status != VI_SUCCESS) return status;
    }
}

ViStatus FdTransport::write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) {
    *sent = 0;
    // A peer that has closed would take the first write without a word (the
    // reset comes back later) and fail only the next one: its close has
    // already been signalled, so this write fails now.
    if (interrupted_ || (checkPeer_ && hungUp())) return VI_ERROR_CONN_LOST;
    while (*sent < len) {
        const ViByte* from = buf + *sent;
        const size_t left = len - *sent;
        const ssize_t n = socket_ ? ::send(fd_, from, left, kSendFlags) : ::write(fd_, from, left);
        if (n > 0) {
            *sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errnoStatus(errno);
        short revents = 0;
        const ViStatus status = wait(POLLOUT, deadline, &revents);
        if (status != VI_SUCCESS) return status;
        if ((revents & (POLLERR | POLLHUP)) && !(revents & POLLOUT)) return VI_ERROR_CONN_LOST;
    }
    return VI_SUCCESS;
}

ViStatus FdTransport::awaitInput(const Deadline& deadline) {
    if (interrupted_) return VI_ERROR_CONN_LOST;
    short revents = 0;
    return wait(POLLIN, deadline, &revents);
}

ViStatus FdTransport::awaitInputOr(const WakeSignal& also) {
    if (interrupted_) return VI_ERROR_CONN_LOST;
    short revents = 0;
    return wait(POLLIN, Deadline::after(VI_TMO_INFINITE), &revents, &also);
}

void FdTransport::discardInput() {
    ViByte scratch[4096];
    // Bounded, so that a peer that never stops sending cannot keep us here.
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = socket_ ? ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT)
                                  : ::read(fd_, scratch, sizeof scratch);
        if (n <= 0) return;
    }
}

}  // namespace qmdc::visa
