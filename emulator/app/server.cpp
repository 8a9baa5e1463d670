#include "app/server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

namespace qmdc::emu {

namespace {

constexpr size_t kMaxLine = 65536;
// A pty without a client reports a hang-up continuously, so it is looked at again after
// this pause rather than waited on.
constexpr int kPtyIdlePollMs = 20;

std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    if (out.size() > 200) out = out.substr(0, 200) + "...(" + std::to_string(text.size()) + ")";
    return out;
}

}  // namespace

Server::Server(Engine& engine, const FaultPlan& faults, const InstrumentLock& lock, bool verbose,
               Fd listener, Fd ptyMaster, int stopFd, HislipServer* hislip,
               std::unique_ptr<Vxi11Server> vxi11)
    : engine_(engine),
      faults_(faults),
      lock_(lock),
      verbose_(verbose),
      listener_(std::move(listener)),
      ptyMaster_(std::move(ptyMaster)),
      stopFd_(stopFd),
      hislip_(hislip),
      vxi11_(std::move(vxi11)),
      requestingService_(engine.instrument().status().RequestsService()) {
    if (hislip_ != nullptr) hislip_->SetAfterLine([this] { AfterLine(); });
    if (vxi11_) vxi11_->SetAfterLine([this] { AfterLine(); });
    engine_.SetAfterEachCommand([this] { AfterLine(); });
}

Server::~Server() {
    engine_.SetAfterEachCommand([] {});
}

void Server::AfterLine() {
    const bool requesting = engine_.instrument().status().RequestsService();
    const bool rising = requesting && !requestingService_;
    requestingService_ = requesting;
    if (!rising) return;
    if (hislip_ != nullptr) hislip_->SendServiceRequest();
    if (vxi11_) vxi11_->SendServiceRequest();
}

void Server::Run() {
    bool ptyIdle = false;
    unsigned long releases = lock_.releases();
    while (true) {
        std::vector<pollfd> fds{{stopFd_, POLLIN, 0}};
        const auto watch = [&fds](const Fd& fd, const OutQueue* out = nullptr) {
            if (!fd.valid()) return -1;
            const bool sending = out != nullptr && !out->empty();
            fds.push_back(
                pollfd{fd.get(), static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0});
            return static_cast<int>(fds.size() - 1);
        };
        // A second client waits in the listen backlog until the first has gone.
        const int listenIndex = tcpClient_.valid() ? -1 : watch(listener_);
        const int tcpIndex = watch(tcpClient_, &tcpLink_.out);
        const int ptyIndex = ptyIdle ? -1 : watch(ptyMaster_, &ptyLink_.out);
        const size_t hislipFirst = fds.size();
        int timeout = ptyIdle ? kPtyIdlePollMs : -1;
        if (hislip_ != nullptr) timeout = Sooner(timeout, hislip_->Watch(fds));
        const size_t vxi11First = fds.size();
        // VXI-11 reads wait for the instrument's answer or their own timeout.
        if (vxi11_) timeout = Sooner(timeout, vxi11_->Watch(fds));
        // A lock given up on one port may let another port's waiting request through.
        if (lock_.releases() != releases) timeout = 0;
        releases = lock_.releases();
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) return;
        if ((fds[0].revents & POLLIN) != 0) return;
        ptyIdle = false;
        if (ready >= 0 && hislip_ != nullptr) hislip_->Serve(fds, hislipFirst);
        if (ready >= 0 && vxi11_) vxi11_->Serve(fds, vxi11First);
        if (ready <= 0) continue;

        if (listenIndex >= 0 && fds[listenIndex].revents != 0) {
            tcpClient_ = AcceptClient(listener_.get());
            tcpLink_.Restart();
            if (verbose_ && tcpClient_.valid()) std::fprintf(stderr, "[tcp] client connected\n");
        }
        if (tcpIndex >= 0 && (fds[tcpIndex].revents & POLLOUT) != 0 &&
            !tcpLink_.out.Flush(tcpClient_.get()))
            DropTcpClient();
        if (tcpIndex >= 0 && tcpClient_.valid() && (fds[tcpIndex].revents & ~POLLOUT) != 0 &&
            !Receive(tcpLink_))
            DropTcpClient();
        if (ptyIndex >= 0) {
            const short events = fds[ptyIndex].revents;
            if ((events & POLLOUT) != 0) ptyLink_.out.Flush(ptyMaster_.get());
            bool hungUp = (events & (POLLHUP | POLLERR)) != 0 && (events & POLLIN) == 0;
            if ((events & POLLIN) != 0 && !Receive(ptyLink_)) hungUp = true;
            if (hungUp) {
                // No client has the terminal open (any more): the next one starts afresh.
                if (verbose_ && (ptyLink_.messages != 0 || !ptyLink_.input.empty()))
                    std::fprintf(stderr, "[pty] client closed\n");
                ptyLink_.Restart();
                ptyIdle = true;
            }
        }
    }
}

void Server::DropTcpClient() {
    if (verbose_) std::fprintf(stderr, "[tcp] connection closed\n");
    tcpClient_.Reset();
}

bool Server::Receive(Link& link) {
    char buffer[4096];
    const ssize_t count = ::read(link.fd->get(), buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (count <= 0) return false;  // peer closed (or, on the pty, no client any more)
    if (link.deaf) return true;
    link.input.append(buffer, static_cast<size_t>(count));
    size_t start = 0;
    for (size_t end; (end = link.input.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = link.input.substr(start, end - start);
        if (link.discarding) {
            link.discarding = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!HandleLine(link, line)) {
            if (link.fd != &ptyMaster_) return false;
            // The device cannot close a serial line: it goes silent until the client leaves.
            link.deaf = true;
            link.input.clear();
            return true;
        }
    }
    link.input.erase(0, start);
    if (link.input.size() > kMaxLine) {
        // The instrument's input buffer is full: it drops the line and says so.
        engine_.instrument().status().ReportError(-363);
        AfterLine();
        link.input.clear();
        link.discarding = true;
    }
    return true;
}

bool Server::HandleLine(Link& link, const std::string& line) {
    ++link.messages;
    if (verbose_) std::fprintf(stderr, "[%s] <- %s\n", link.name, Printable(line).c_str());
    const std::string reply = faults_.Reply(engine_.Execute(line));
    AfterLine();
    const bool timed = faults_.stallAfter() != 0 || faults_.delayMs() != 0 || faults_.split() != 0;
    if (!reply.empty() && !timed) {
        if (verbose_) std::fprintf(stderr, "[%s] -> %s\n", link.name, Printable(reply).c_str());
        // A client that does not read is dropped once its queue is full; a terminal whose
        // client does not read just loses what does not fit.
        if (!link.out.Send(link.fd->get(), reply)) {
            if (link.fd != &ptyMaster_) return false;
            link.out.clear();
        }
    } else if (!reply.empty()) {
        if (verbose_) std::fprintf(stderr, "[%s] -> %s\n", link.name, Printable(reply).c_str());
        // The pause comes before the reply, or after its first bytes when it stalls.
        const size_t head = std::min(faults_.stallAfter(), reply.size());
        if (head > 0 && !WriteAll(link.fd->get(), std::string_view(reply).substr(0, head),
                                  faults_.split(), stopFd_))
            return false;
        if (faults_.delayMs() > 0 && !PauseUnlessStopped(faults_.delayMs(), stopFd_)) return false;
        if (!WriteAll(link.fd->get(), std::string_view(reply).substr(head), faults_.split(),
                      stopFd_))
            return false;
    }
    if (faults_.dropAfter() != 0 && link.messages >= faults_.dropAfter()) {
        if (verbose_)
            std::fprintf(stderr, "[%s] dropping after %ld messages\n", link.name, link.messages);
        return false;
    }
    return true;
}

}  // namespace qmdc::emu
