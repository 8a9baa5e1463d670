#include "fake_instrument.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "loopback_listener.h"

namespace qmdc_test {

FakeInstrument::FakeInstrument(Responder responder) : responder_(std::move(responder)) {
    listener_ = ListenOnLoopback(&port_);
    if (listener_ < 0 || pipe(wakeup_) != 0)
        throw std::runtime_error("fake instrument: cannot listen");
    thread_ = std::thread([this] { Serve(); });
}

FakeInstrument::FakeInstrument(std::map<std::string, std::string> replies)
    : FakeInstrument([replies](const std::string& line) -> std::optional<std::string> {
          auto it = replies.find(line);
          if (it == replies.end()) return std::nullopt;
          return it->second;
      }) {}

FakeInstrument::~FakeInstrument() {
    if (write(wakeup_[1], "x", 1) < 0) {
    }
    thread_.join();
    close(listener_);
    close(wakeup_[0]);
    close(wakeup_[1]);
}

std::string FakeInstrument::Resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

std::vector<std::string> FakeInstrument::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> FakeInstrument::ReceivedAtLeast(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return received_.size() >= count; });
    return received_;
}

bool FakeInstrument::WaitForDisconnect(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return disconnected_; });
}

void FakeInstrument::Serve() {
    int client = -1;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{wakeup_[0], POLLIN, 0}, {client >= 0 ? client : listener_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[0].revents != 0) break;
        if (client < 0) {
            client = accept(listener_, nullptr, nullptr);
            continue;
        }
        char chunk[4096];
        const ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0) {
            close(client);
            client = -1;
            pending.clear();
            std::lock_guard<std::mutex> lock(mutex_);
            disconnected_ = true;
            changed_.notify_all();
            continue;
        }
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.push_back(line);
                changed_.notify_all();
            }
            const auto reply = responder_(line);
            if (reply && send(client, reply->data(), reply->size(), MSG_NOSIGNAL) < 0) break;
        }
    }
    if (client >= 0) close(client);
}

AnswerTable::AnswerTable(std::map<std::string, std::string> replies)
    : replies_(std::move(replies)) {}

AnswerTable::AnswerTable() : AnswerTable(HealthySupplyReplies()) {}

void AnswerTable::Set(const std::string& line, const std::string& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[line] = reply;
}

void AnswerTable::Drop(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.erase(line);
}

void AnswerTable::SetNext(const std::string& line, const std::string& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_[line] = reply;
}

FakeInstrument::Responder AnswerTable::Responder() {
    return [this](const std::string& line) -> std::optional<std::string> {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto next = next_.find(line); next != next_.end()) {
            std::string reply = std::move(next->second);
            next_.erase(next);
            return reply;
        }
        auto it = replies_.find(line);
        if (it == replies_.end()) return std::nullopt;
        return it->second;
    };
}

std::map<std::string, std::string> HealthySupplyReplies(const std::string& identity) {
    return {{"*IDN?", identity + "\n"},
            {"*ESR?", "0\n"},
            {"*OPC?", "1\n"},
            {"*TST?", "0\n"},
            {":SYST:ERR?", "0,\"No error\"\n"},
            {"SYST:ERR?", "0,\"No error\"\n"}};
}

}  // namespace qmdc_test
