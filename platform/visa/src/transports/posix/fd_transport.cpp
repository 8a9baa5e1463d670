// fd_transport.cpp - poll()-bounded reads and writes on a descriptor.
#include "fd_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
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

FdTransport::FdTransport(int fd, bool isSocket) : fd_(fd), socket_(isSocket) {
    // A socket blocks in one receive, bounded by its receive timeout; every
    // other call on it passes MSG_DONTWAIT.
    if (socket_) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

FdTransport::~FdTransport() {
    ::close(fd_);
}

void FdTransport::interrupt() {
    interrupted_ = true;
    wake_.raise();
    // Also ends a socket's blocking receive: it reads the end of the stream.
    if (socket_) ::shutdown(fd_, SHUT_RDWR);
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

bool FdTransport::armReceiveTimeout(const Deadline& deadline) {
    const int left = deadline.remainingMs();
    if (left == 0) return false;
    // Kept while it ends within the deadline and not long before it, so
    // that the calls under one timeout setting arm it once; set a little
    // short of the deadline, so that the time a call spends before its
    // receive does not make the next call set it again. (A receive that
    // ends before the deadline is followed by one for the rest.)
    if (left < 0 ? armedMs_ == 0 : armedMs_ > 0 && armedMs_ <= left && armedMs_ > left / 2)
        return true;
    const int ms = left < 0 ? 0 : left - left / 16;  // 0: no limit
    const timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
    armedMs_ = ms;
    return true;
}

ViStatus FdTransport::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    *got = 0;
    if (interrupted_) return VI_ERROR_CONN_LOST;
    // Just after a write the answer has seldom come yet, so a read would find
    // nothing: a socket blocks in its receive at once (send and receive, two
    // calls), another descriptor waits first (send, poll and read, three).
    // Otherwise input may be waiting: it is taken without a wait.
    bool waitFirst = wroteSinceRead_;
    wroteSinceRead_ = false;
    for (;;) {
        const bool block = waitFirst && socket_ && armReceiveTimeout(deadline);
        if (waitFirst && !block) {
            short revents = 0;
            const ViStatus status = wait(POLLIN, deadline, &revents);
            if (status != VI_SUCCESS) return status;
        }
        waitFirst = true;
        const ssize_t n =
            socket_ ? ::recv(fd_, buf, cap, block ? 0 : MSG_DONTWAIT) : ::read(fd_, buf, cap);
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return VI_SUCCESS;
        }
        // A socket reads 0 at the peer's close; a raw terminal (VMIN 0) also
        // when it is merely empty, so it is asked whether the line hung up.
        if (n == 0 && (socket_ || hungUp())) return VI_ERROR_CONN_LOST;
        if (n < 0 && errno == EINTR) {
            waitFirst = block;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errnoStatus(errno);
        // A blocking receive that ran out of time: the deadline's, or a
        // shorter receive timeout kept from an earlier call (armed again).
        if (block && deadline.expired()) return VI_ERROR_TMO;
    }
}

ViStatus FdTransport::write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) {
    *sent = 0;
    // A peer that has closed would take the first write without a word (the
    // reset comes back later) and fail only the next one: its close has
    // already been signalled, so this write fails now.
    // A question whose answer is read next learns of the close there.
    const bool askPeer = checkPeer_ && !answerReadNext_;
    answerReadNext_ = false;
    if (interrupted_ || (askPeer && hungUp())) return VI_ERROR_CONN_LOST;
    wroteSinceRead_ = true;
    while (*sent < len) {
        const ViByte* from = buf + *sent;
        const size_t left = len - *sent;
        const ssize_t n =
            socket_ ? ::send(fd_, from, left, kSendFlags | MSG_DONTWAIT) : ::write(fd_, from, left);
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
