#include "tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#ifndef QMDC_CLI_PATH
#error "QMDC_CLI_PATH must name the qmdc program"
#endif

namespace qmdc_cli_test {
namespace {

void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

}  // namespace

const char* ToolPath() {
    return QMDC_CLI_PATH;
}

ToolProcess::ToolProcess(const std::vector<std::string>& args, const ToolOptions& options)
    : deadline_(std::chrono::steady_clock::now() + options.deadline) {
    std::vector<std::string> command{options.program.empty() ? QMDC_CLI_PATH : options.program};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        for (const auto& [name, value] : options.env) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // Small inputs fit the pipe; the tool reads them when it is ready.
    WriteAll(in[1], options.input);
    close(in[1]);
    fds_[0] = out[0];
    fds_[1] = err[0];
}

ToolProcess::~ToolProcess() {
    if (!waited_) {
        kill(pid_, SIGKILL);
        Wait();
    }
}

bool ToolProcess::Collect(int timeoutMs) {
    pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    std::string* sinks[2] = {&result_.out, &result_.err};
    if (fds_[0] < 0 && fds_[1] < 0) return false;
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) return true;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            close(fds_[i]);
            fds_[i] = -1;
        }
    }
    return true;
}

const std::string& ToolProcess::OutputSoFar() {
    Collect(0);  // callers poll, so one read at a time does
    return result_.out;
}

ToolResult ToolProcess::Wait() {
    bool killed = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline_ - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 && !killed) {
            kill(pid_, SIGKILL);
            killed = true;
        }
        if (!Collect(left > 0 ? static_cast<int>(left) : 100)) break;
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    result_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (killed) result_.err += "\n[killed: the run outlived its deadline]";
    return result_;
}

ToolResult RunTool(const std::vector<std::string>& args, const ToolOptions& options) {
    return ToolProcess(args, options).Wait();
}

}  // namespace qmdc_cli_test
