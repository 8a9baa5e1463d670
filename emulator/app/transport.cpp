#include "app/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qmdc::emu {

namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int Fd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

Fd ListenLoopback(int port, int* bound, std::string& error, uint32_t address) {
    Fd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        error = SystemError("socket");
        return Fd();
    }
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof sa;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(socket.get(), 8) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
        char text[INET_ADDRSTRLEN] = "";
        const int saved = errno;
        ::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
        errno = saved;
        error = SystemError((std::string("listen on ") + text).c_str());
        return Fd();
    }
    *bound = ntohs(sa.sin_port);
    return socket;
}

Fd ListenTcp(int port, std::string& resource, std::string& error) {
    int bound = 0;
    Fd socket = ListenLoopback(port, &bound, error);
    if (socket.valid()) resource = "TCPIP0::127.0.0.1::" + std::to_string(bound) + "::SOCKET";
    return socket;
}

bool OutQueue::Send(int fd, std::string_view data, Clock::time_point at) {
    if (!data.empty()) {
        pieces_.push_back(TimedPiece{std::string(data), at});
        bytes_ += data.size();
    }
    return Flush(fd);
}

bool OutQueue::Flush(int fd) {
    const Clock::time_point now = Clock::now();
    while (!pieces_.empty() && pieces_.front().at <= now) {
        std::string& bytes = pieces_.front().bytes;
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == ENOTSOCK) sent = ::write(fd, bytes.data(), bytes.size());
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (sent <= 0) return false;
        bytes.erase(0, static_cast<size_t>(sent));
        bytes_ -= static_cast<size_t>(sent);
        if (bytes.empty()) pieces_.pop_front();
    }
    return bytes_ <= kLimit;
}

short OutQueue::Events() const {
    return !pieces_.empty() && pieces_.front().at <= Clock::now() ? POLLOUT : 0;
}

int OutQueue::WaitMs() const {
    return pieces_.empty() || pieces_.front().at <= Clock::now() ? -1 : MsUntil(pieces_.front().at);
}

Fd AcceptClient(int listener) {
    Fd client(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (client.valid()) {
        const int on = 1;
        ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return client;
}

Fd OpenPty(std::string& resource, std::string& error) {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = SystemError("posix_openpt");
        return Fd();
    }
    const char* name = ::ptsname(master.get());
    if (name == nullptr) {
        error = SystemError("ptsname");
        return Fd();
    }
    const std::string slavePath = name;
    // The line discipline must neither echo the client's bytes back nor translate line ends.
    // The terminal keeps these settings while the master is open, across client changes.
    Fd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios settings{};
    if (!slave.valid() || ::tcgetattr(slave.get(), &settings) != 0) {
        error = SystemError("open pty slave");
        return Fd();
    }
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(slave.get(), TCSANOW, &settings) != 0) {
        error = SystemError("tcsetattr");
        return Fd();
    }
    resource = "ASRL" + slavePath + "::INSTR";
    return master;
}

}  // namespace qmdc::emu
