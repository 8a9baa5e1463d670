// test_support.cpp - the scripted peer and the pseudo terminal.
#include "test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace visatest {

ScriptedPeer::ScriptedPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        ::pipe(wake_) != 0)
        throw std::runtime_error("cannot set up the scripted peer");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer() {
    const char stop = 'x';
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string ScriptedPeer::resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void ScriptedPeer::on(const std::string& line, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_[line] = std::move(reply);
}

ScriptedPeer::State ScriptedPeer::state() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool ScriptedPeer::waitFor(const std::function<bool(const State&)>& pred, Ms timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(state_); });
}

void ScriptedPeer::answer(int fd, const Reply& reply, std::vector<int>& clients) {
    std::this_thread::sleep_for(reply.delay);
    for (size_t i = 0; i < reply.segments.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(reply.gap);
        const std::string& s = reply.segments[i];
        (void)!::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++state_.repliesSent;
    if (reply.close) {
        ::close(fd);
        for (auto it = clients.begin(); it != clients.end(); ++it)
            if (*it == fd) {
                clients.erase(it);
                break;
            }
    }
    changed_.notify_all();
}

void ScriptedPeer::run() {
    std::vector<int> clients;
    std::map<int, std::string> partial;
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (int c : clients) fds.push_back({c, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c >= 0) {
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                clients.push_back(c);
                std::lock_guard<std::mutex> lock(mutex_);
                ++state_.accepted;
                changed_.notify_all();
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const int fd = fds[i].fd;
            char buf[65536];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(fd);
                partial.erase(fd);
                for (auto it = clients.begin(); it != clients.end(); ++it)
                    if (*it == fd) {
                        clients.erase(it);
                        break;
                    }
                std::lock_guard<std::mutex> lock(mutex_);
                ++state_.closedByClient;
                changed_.notify_all();
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                state_.bytes.append(buf, static_cast<size_t>(n));
                changed_.notify_all();
            }
            std::string& line = partial[fd];
            for (ssize_t k = 0; k < n; ++k) {
                line += buf[k];
                if (buf[k] != '\n') continue;
                Reply reply;
                bool scripted = false;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    state_.lines.push_back(line);
                    auto it = script_.find(line);
                    if (it != script_.end()) {
                        reply = it->second;
                        scripted = true;
                    }
                    changed_.notify_all();
                }
                line.clear();
                if (scripted) answer(fd, reply, clients);
            }
            if (std::find(clients.begin(), clients.end(), fd) == clients.end()) partial.erase(fd);
        }
    }
    for (int c : clients) ::close(c);
}

Pty::Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo terminal");
    slave_ = ::ptsname(master_);
}

Pty::~Pty() {
    hangUp();
}

void Pty::send(const std::string& bytes) {
    (void)!::write(master_, bytes.data(), bytes.size());
}

std::string Pty::receive(size_t n, Ms timeout) {
    std::string out;
    const auto start = std::chrono::steady_clock::now();
    while (out.size() < n) {
        const long long left = timeout.count() - elapsedMs(start);
        pollfd p{master_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[256];
        const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0) break;
        out.append(buf, static_cast<size_t>(got));
    }
    return out;
}

termios Pty::lineSettings() {
    termios t{};
    ::tcgetattr(master_, &t);  // the master reports the slave's settings
    return t;
}

void Pty::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

PtyReader::PtyReader(Pty& pty, Pace pace) {
    thread_ = std::thread([this, &pty, pace] {
        const auto start = std::chrono::steady_clock::now();
        while (!stop_ && elapsedMs(start) < pace.hold.count()) std::this_thread::sleep_for(Ms(1));
        while (!stop_) {
            received_ += pty.receive(pace.chunk, Ms(10)).size();
            std::this_thread::sleep_for(pace.period);
        }
    });
}

PtyReader::~PtyReader() {
    stop_ = true;
    thread_.join();
}

int descriptorsOpenOn(const std::string& path) {
    namespace fs = std::filesystem;
    int count = 0;
    std::error_code error;
    for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd", error))
        if (fs::read_symlink(fd.path(), error) == path) ++count;
    return count;
}

ResourceManager::ResourceManager() {
    if (viOpenDefaultRM(&rm_) != VI_SUCCESS) throw std::runtime_error("viOpenDefaultRM failed");
}

ResourceManager::~ResourceManager() {
    viClose(rm_);
}

ViStatus ResourceManager::open(const std::string& name, ViSession* vi, ViUInt32 timeoutMs) {
    return viOpen(rm_, name.c_str(), VI_NULL, timeoutMs, vi);
}

std::vector<std::string> ResourceManager::find(const char* expr, ViStatus* status) {
    std::vector<std::string> names;
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    ViChar desc[VI_FIND_BUFLEN];
    *status = viFindRsrc(rm_, expr, &list, &count, desc);
    if (*status != VI_SUCCESS) return names;
    names.push_back(desc);
    while (viFindNext(list, desc) == VI_SUCCESS) names.push_back(desc);
    EXPECT_EQ(names.size(), count) << expr;
    EXPECT_EQ(viClose(list), VI_SUCCESS);
    return names;
}

LockHolderProcess::LockHolderProcess(const char* program, const std::string& resource,
                                     const char* key) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return;
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(resource.c_str()),
                    const_cast<char*>(key), nullptr};
    if (posix_spawn(&pid_, program, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    toChild_ = toChild[1];
    fromChild_ = fromChild[0];
    if (pid_ < 0) return;
    char said[16] = {};
    locked_ = read(fromChild_, said, sizeof said - 1) > 0 && std::string(said) == "locked\n";
}

LockHolderProcess::~LockHolderProcess() {
    release();
    wait();
    if (fromChild_ >= 0) close(fromChild_);
}

void LockHolderProcess::release() {
    if (toChild_ >= 0) close(toChild_);
    toChild_ = -1;
}

int LockHolderProcess::wait() {
    if (pid_ < 0) return -1;
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, 0);
    pid_ = -1;
    return ended < 0 ? -1 : status;
}

}  // namespace visatest
