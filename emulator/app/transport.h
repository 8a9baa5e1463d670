// The instrument's ports: a TCP listener on the loopback interface and a pseudo-terminal
// standing in for its serial line, plus the byte I/O both share.
#ifndef QMDC_EMULATOR_APP_TRANSPORT_H
#define QMDC_EMULATOR_APP_TRANSPORT_H

#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace qmdc::emu {

// Owns a file descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Listens on address:port (address in host byte order, 127.0.0.1 unless given; port 0: the
// kernel picks); *bound gets the port.
Fd ListenLoopback(int port, int* bound, std::string& error, uint32_t address = INADDR_LOOPBACK);
// The same for the raw socket; resource gets the VISA name.
Fd ListenTcp(int port, std::string& resource, std::string& error);
Fd AcceptClient(int listener);  // non-blocking, Nagle off so split replies go out as split

// A raw-mode pseudo-terminal; the master is returned, resource gets "ASRL<slave>::INSTR".
Fd OpenPty(std::string& resource, std::string& error);

using Clock = std::chrono::steady_clock;

// One piece of an answer and when it may go.
struct TimedPiece {
    std::string bytes;
    Clock::time_point at;
};

// Bytes on their way to one client, sent in order as its socket takes them and as each
// piece's time comes: a client that does not read fills only its own queue, never holds the
// serving loop, and is dropped when the queue is full; a late answer (--delay-ms) waits here
// while the others are served.
class OutQueue {
  public:
    static constexpr size_t kLimit = 1u << 20;

    // Queues the bytes (due now, or at `at`) and sends what may go; false when the peer is
    // gone or has left more than kLimit bytes untaken (drop it).
    bool Send(int fd, std::string_view data, Clock::time_point at = {});
    // Sends more of what may go (when poll says the socket takes it); false as Send.
    bool Flush(int fd);
    bool empty() const { return pieces_.empty(); }
    // What poll must wait for: POLLOUT while a piece is due, and how long until the next
    // one is (ms, -1: none waits for its time).
    short Events() const;
    int WaitMs() const;
    void clear() {
        pieces_.clear();
        bytes_ = 0;
    }

  private:
    std::deque<TimedPiece> pieces_;
    size_t bytes_ = 0;
};

// How long poll() may wait for `t`: milliseconds from now, rounded up, 0 once it has passed.
inline int MsUntil(std::chrono::steady_clock::time_point t) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(t - std::chrono::steady_clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// The shorter of two poll() waits in milliseconds, -1 being no limit.
inline int Sooner(int a, int b) {
    return a < 0 ? b : b < 0 ? a : std::min(a, b);
}

}  // namespace qmdc::emu

#endif
