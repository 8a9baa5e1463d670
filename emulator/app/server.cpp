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

// A pty without a client reports a hang-up continuously, so it is looked at again after
// this pause rather than waited on.
constexpr int kPtyIdlePollMs = 20;

}  // namespace

Server::Server(Engine& engine, Responder& responder, const InstrumentLock& lock, bool verbose,
               Fd listener, Fd ptyMaster, int stopFd, HislipServer* hislip,
               std::unique_ptr<Vxi11Server> vxi11)
    : engine_(engine),
      responder_(responder),
      lock_(lock),
      verbose_(verbose),
      listener_(std::move(listener)),
      ptyMaster_(std::move(ptyMaster)),
      stopFd_(stopFd),
      hislip_(hislip),
      vxi11_(std::move(vxi11)),
      requestingService_(engine.instrument().status().RequestsService()) {
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
        int timeout = ptyIdle ? kPtyIdlePollMs : -1;
        const auto watch = [&](const Fd& fd, const Link* link = nullptr) {
            if (!fd.valid()) return -1;
            short events = POLLIN;
            if (link != nullptr) {
                // A client to be dropped once its answer has gone is not read from.
                if (link->count.drop) events = 0;
                events |= link->out.Events();
                timeout = Sooner(timeout, link->out.WaitMs());
            }
            fds.push_back(pollfd{fd.get(), events, 0});
            return static_cast<int>(fds.size() - 1);
        };
        // A second client waits in the listen backlog until the first has gone.
        const int listenIndex = tcpClient_.valid() ? -1 : watch(listener_);
        const int tcpIndex = watch(tcpClient_, &tcpLink_);
        const int ptyIndex = ptyIdle ? -1 : watch(ptyMaster_, &ptyLink_);
        const size_t hislipFirst = fds.size();
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
        const auto revents = [&](int index) {
            return index < 0 || ready < 0 ? 0 : fds[index].revents;
        };

        if ((revents(listenIndex) & POLLIN) != 0) {
            tcpClient_ = AcceptClient(listener_.get());
            tcpLink_.Restart();
            if (verbose_ && tcpClient_.valid()) std::fprintf(stderr, "[tcp] client connected\n");
        }
        // Answers whose time has come go whatever woke the loop.
        if (tcpIndex >= 0 && !tcpLink_.out.Flush(tcpClient_.get())) DropTcpClient();
        if (tcpClient_.valid() && (revents(tcpIndex) & ~POLLOUT) != 0 && !Receive(tcpLink_))
            DropTcpClient();
        if (tcpClient_.valid() && tcpLink_.count.drop && tcpLink_.out.empty()) DropTcpClient();
        if (ptyIndex >= 0) {
            const short events = revents(ptyIndex);
            if (!ptyLink_.out.Flush(ptyMaster_.get())) ptyLink_.out.clear();
            bool hungUp = (events & (POLLHUP | POLLERR)) != 0 && (events & POLLIN) == 0;
            if ((events & POLLIN) != 0 && !Receive(ptyLink_)) hungUp = true;
            if (hungUp) {
                // No client has the terminal open (any more): the next one starts afresh.
                if (verbose_ && (ptyLink_.count.messages != 0 || !ptyLink_.lines.empty()))
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
    // The device cannot close a serial line: after --drop-after it goes silent until the
    // client leaves.
    if (link.deaf) return true;
    bool queued = true;  // false: the client does not read
    link.lines.Feed(std::string_view(buffer, static_cast<size_t>(count)), false, responder_,
                    link.name, [&](const std::string& line) {
                        queued = HandleLine(link, line);
                        return queued && !link.count.drop && !link.deaf;
                    });
    return queued;
}

bool Server::HandleLine(Link& link, const std::string& line) {
    const std::string reply = responder_.Run(link.name, line, link.count);
    for (const TimedPiece& piece : Schedule(reply, responder_.faults(), Clock::now())) {
        // A client that does not read is dropped once its queue is full; a terminal whose
        // client does not read just loses what does not fit.
        if (!link.out.Send(link.fd->get(), piece.bytes, piece.at)) {
            if (link.fd != &ptyMaster_) return false;
            link.out.clear();
        }
    }
    if (link.count.drop && link.fd == &ptyMaster_) {
        link.count.drop = false;
        link.deaf = true;
    }
    return true;
}

}  // namespace qmdc::emu
