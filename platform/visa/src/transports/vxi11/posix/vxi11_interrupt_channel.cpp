// vxi11_interrupt_channel.cpp - the listening socket and its watcher thread:
// one poll() over the wake signal, the listener and the instrument's
// connections; the records are read by the codec of platform/rpc.
#include "vxi11_interrupt_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "descriptor.h"
#include "rpc_record.h"
#include "vxi11_intr.h"

namespace qmdc::visa {

namespace {

constexpr size_t kMaxCallers = 4;  // connections held at once; a new one takes the oldest's place
constexpr size_t kMaxUnsent = 16384;  // replies a caller may leave unread before it is dropped
constexpr int kReadsPerWake = 16;     // reads of a caller between two looks at the wake signal
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
constexpr int kSendFlags = MSG_DONTWAIT;
#endif

ViStatus socketFailure() {
    return isResourceShortage(errno) ? VI_ERROR_ALLOC : VI_ERROR_SYSTEM_ERROR;
}

}  // namespace

// One connection the instrument opened: the records it sends, the replies it
// has not taken yet.
struct InterruptChannel::Caller {
    explicit Caller(int socket) : fd(socket), reader(rpc::kMaxIntrRecord) {}
    ~Caller() { ::close(fd); }
    Caller(const Caller&) = delete;
    Caller& operator=(const Caller&) = delete;

    // Takes what poll() found; false when the caller is to be dropped.
    bool serve(short revents, const std::string& handle, const Sink& raised) {
        if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !receive(handle, raised)) return false;
        return flush();
    }

    // Takes the records that have come (a bounded amount, so that a caller
    // that never stops cannot keep the thread from its wake signal); false
    // once the caller has closed.
    bool receive(const std::string& handle, const Sink& raised) {
        uint8_t buf[4096];
        for (int i = 0; i < kReadsPerWake; ++i) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0) return false;
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            if (!take(buf, static_cast<size_t>(n), handle, raised)) return false;
        }
        return true;
    }

    bool take(const uint8_t* data, size_t len, const std::string& handle, const Sink& raised) {
        for (size_t at = 0; at < len;) {
            size_t used = 0;
            const auto state = reader.feed(data + at, len - at, &used);
            at += used;
            if (state == rpc::RecordReader::State::TooLong) return false;
            if (state != rpc::RecordReader::State::Complete) break;
            std::string reply;
            const rpc::IntrCall call = rpc::takeIntrCall(reader.record(), handle, &reply);
            reader.next();
            if (call == rpc::IntrCall::Malformed) return false;
            if (!mute) unsent += reply;
            if (call == rpc::IntrCall::ServiceRequest) raised();  // never throws
        }
        return true;
    }

    // Sends what the socket takes now. A caller that does not wait for its
    // replies may have closed already: it gets no more, but what it sent is
    // still read. One that leaves them unread while it goes on is dropped
    // once they pile up.
    bool flush() {
        while (!unsent.empty()) {
            const ssize_t n = ::send(fd, unsent.data(), unsent.size(), kSendFlags);
            if (n > 0) {
                unsent.erase(0, static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    mute = true;
                    unsent.clear();
                }
                break;
            }
        }
        return unsent.size() <= kMaxUnsent;
    }

    const int fd;
    rpc::RecordReader reader;
    std::string unsent;
    bool mute = false;  // its replies can no longer be sent
};

std::unique_ptr<InterruptChannel> InterruptChannel::listen(in_addr_t address, ViStatus* status) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        *status = socketFailure();
        return nullptr;
    }
    makeNonBlocking(fd);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = 0;
    socklen_t len = sizeof sa;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd, static_cast<int>(kMaxCallers)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        *status = socketFailure();
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<InterruptChannel> channel(new (std::nothrow)
                                                  InterruptChannel(fd, ntohs(sa.sin_port)));
    if (!channel) {
        ::close(fd);
        *status = VI_ERROR_ALLOC;
        return nullptr;
    }
    *status = VI_SUCCESS;
    return channel;
}

InterruptChannel::~InterruptChannel() {
    stop();
    ::close(listener_);
}

ViStatus InterruptChannel::start(std::string handle, Sink raised) {
    handle_ = std::move(handle);
    raised_ = std::move(raised);
    return watch_.start([this](WakeSignal& wake) { watch(wake); });
}

void InterruptChannel::stop() {
    watch_.stop();
}

void InterruptChannel::watch(const WakeSignal& wake) {
    std::vector<std::unique_ptr<Caller>> callers;
    callers.reserve(kMaxCallers);
    std::vector<pollfd> fds;
    fds.reserve(2 + kMaxCallers);
    for (;;) {
        fds.clear();
        fds.push_back(pollfd{wake.fd(), POLLIN, 0});
        fds.push_back(pollfd{listener_, POLLIN, 0});
        for (const auto& caller : callers)
            fds.push_back(
                pollfd{caller->fd,
                       static_cast<short>(caller->unsent.empty() ? POLLIN : POLLIN | POLLOUT), 0});
        // Every wait ends with the wake signal: stop(), interrupt() or the destructor.
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0 || (fds[1].revents & (POLLERR | POLLNVAL)) != 0) return;
        for (size_t i = 0; i < callers.size(); ++i)
            if (fds[i + 2].revents != 0 && !callers[i]->serve(fds[i + 2].revents, handle_, raised_))
                callers[i].reset();
        callers.erase(std::remove(callers.begin(), callers.end(), nullptr), callers.end());
        if ((fds[1].revents & POLLIN) != 0) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            makeNonBlocking(fd);
            // Callers that hold their connections idle cannot keep the
            // instrument out: the one connected longest goes.
            if (callers.size() == kMaxCallers) callers.erase(callers.begin());
            std::unique_ptr<Caller> caller(new (std::nothrow) Caller(fd));
            if (caller)
                callers.push_back(std::move(caller));  // reserved: cannot throw
            else
                ::close(fd);
        }
    }
}

}  // namespace qmdc::visa
