#include "line_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qmdc::emu {

namespace {

int ConnectTcp(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

int OpenRawTerminal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B57600);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

}  // namespace

std::optional<LineChannel> LineChannel::Open(const std::string& resource) {
    const std::string tcpPrefix = "TCPIP0::127.0.0.1::";
    const std::string asrlSuffix = "::INSTR";
    int fd = -1;
    if (resource.rfind(tcpPrefix, 0) == 0) {
        fd = ConnectTcp(std::stoi(resource.substr(tcpPrefix.size())));
    } else if (resource.rfind("ASRL/", 0) == 0 && resource.size() > asrlSuffix.size()) {
        fd = OpenRawTerminal(resource.substr(4, resource.size() - 4 - asrlSuffix.size()));
    }
    if (fd < 0) return std::nullopt;
    return LineChannel(fd);
}

LineChannel::LineChannel(LineChannel&& other) noexcept
    : fd_(other.fd_), pending_(std::move(other.pending_)) {
    other.fd_ = -1;
}

LineChannel::~LineChannel() {
    if (fd_ >= 0) ::close(fd_);
}

bool LineChannel::Write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd_, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

std::optional<std::string> LineChannel::ReadLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        char buffer[65536];
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<size_t>(count));
    }
}

std::optional<std::string> LineChannel::Query(const std::string& line, int timeoutMs) {
    if (!Write(line + "\n")) return std::nullopt;
    return ReadLine(timeoutMs);
}

bool LineChannel::WaitForClose(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return false;
    char byte;
    const ssize_t count = ::read(fd_, &byte, 1);
    // A connection still in the listen backlog when the server exits is reset, not closed.
    return count == 0 || (count < 0 && errno == ECONNRESET);
}

}  // namespace qmdc::emu
