#include "emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifndef QMDC_EMULATOR_PATH
#error "QMDC_EMULATOR_PATH must name the qmdc-emulator executable"
#endif

namespace qmdc::testing {

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kTurnWaitMs = 300000;  // the longest a VXI-11 test waits for the one before

size_t ExpectedResourceCount(const std::vector<std::string>& args) {
    const auto has = [&args](const std::string& prefix) {
        return std::any_of(args.begin(), args.end(), [&prefix](const std::string& arg) {
            return arg == prefix || arg.rfind(prefix + "=", 0) == 0;
        });
    };
    const bool pty = has("--pty");
    const bool hislip = has("--hislip");
    const bool vxi11 = has("--vxi11") || has("--vxi11-host");
    const bool tcp = has("--tcp") || !(pty || hislip || vxi11);
    return (tcp ? 1 : 0) + (pty ? 1 : 0) + (hislip ? 1 : 0) + (vxi11 ? 1 : 0);
}

// Reads the child's resource lines; stops at the expected count, at EOF or at the deadline.
std::vector<std::string> ReadResourceLines(int fd, size_t expected) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    std::vector<std::string> lines;
    std::string pending;
    while (lines.size() < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[512];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        pending.append(buffer, static_cast<size_t>(count));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    return lines;
}

// One VXI-11 emulator at a time while a system portmapper runs: a lock on a file shared by
// the test programs (and the Python tests), held by this process for as long as any of its
// emulators with VXI-11 runs. A second one in the same process shares the turn, and fails
// (the portmapper has room for one): a test that needs two skips under a system portmapper.
std::mutex g_turnMutex;
int g_turnHolders = 0;
int g_turnFd = -1;

bool AcquireVxi11Turn() {
    std::lock_guard<std::mutex> lock(g_turnMutex);
    if (g_turnHolders > 0) {
        ++g_turnHolders;
        return true;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                             "/qmdc-emulator-vxi11-" + std::to_string(::getuid()) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTurnWaitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    g_turnFd = fd;
    g_turnHolders = 1;
    return true;
}

void ReleaseVxi11Turn() {
    std::lock_guard<std::mutex> lock(g_turnMutex);
    if (--g_turnHolders == 0) {
        ::close(g_turnFd);  // releases the lock
        g_turnFd = -1;
    }
}

bool ServesVxi11(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return arg == "--vxi11" || arg.rfind("--vxi11-host", 0) == 0;
    });
}

}  // namespace

bool EmulatorProcess::SystemPortmapperRunning() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(111);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    if (fd >= 0) ::close(fd);
    return connected;
}

EmulatorProcess::EmulatorProcess(std::vector<std::string> args) {
    if (ServesVxi11(args) && SystemPortmapperRunning()) {
        if (!AcquireVxi11Turn())
            throw std::runtime_error("EmulatorProcess: no turn for VXI-11 within the time");
        holdsVxi11Turn_ = true;
    }
    std::vector<std::string> command{QMDC_EMULATOR_PATH};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Stop();
        throw std::runtime_error("EmulatorProcess: pipe failed");
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(out[0]);
        ::close(out[1]);
        Stop();
        throw std::runtime_error("EmulatorProcess: fork failed");
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    resources_ = ReadResourceLines(out[0], ExpectedResourceCount(args));
    ::close(out[0]);
    if (resources_.empty()) {
        Stop();
        throw std::runtime_error(std::string("EmulatorProcess: ") + QMDC_EMULATOR_PATH +
                                 " printed no resource name");
    }
}

EmulatorProcess::~EmulatorProcess() {
    Stop();
}

void EmulatorProcess::Reap(int waitStatus) {
    reaped_ = true;
    exitStatus_ = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

bool EmulatorProcess::running() {
    if (reaped_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) Reap(status);
    return !reaped_;
}

bool EmulatorProcess::WaitForExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A pidfd becomes readable when the child exits; kernels without it get a polling wait.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd >= 0) {
        pollfd pfd{pidfd, POLLIN, 0};
        while (::poll(&pfd, 1, timeoutMs) < 0 && errno == EINTR) {
        }
        ::close(pidfd);
        return !running();
    }
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int EmulatorProcess::Stop() {
    if (pid_ > 0 && running()) Terminate();
    if (holdsVxi11Turn_) {
        holdsVxi11Turn_ = false;
        ReleaseVxi11Turn();
    }
    return exitStatus_;
}

void EmulatorProcess::Terminate() {
    ::kill(pid_, SIGTERM);
    if (!WaitForExit(kStopTimeoutMs)) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        Reap(status);
    }
}

}  // namespace qmdc::testing
