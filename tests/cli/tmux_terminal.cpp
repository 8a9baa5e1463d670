#include "tmux_terminal.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tool_process.h"

namespace qmdc_cli_test {
namespace {

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a tmux command line; its standard output (and error, when it fails:
// then the test fails too).
std::string Tmux(const std::string& socket, const std::string& arguments) {
    const std::string command = "tmux -S " + socket + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run tmux");
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

}  // namespace

size_t Occurrences(const std::string& screen, const std::string& text) {
    size_t count = 0;
    for (size_t at = screen.find(text); at != std::string::npos; at = screen.find(text, at + 1)) {
        ++count;
    }
    return count;
}

TmuxTerminal::TmuxTerminal(const std::string& command, int width, int height)
    : socket_(folder_.File("tmux")) {
    // The window outlives the command, showing how it ended, until kill-server.
    const std::string script = command + "; echo \"[exit $?]\"; exec sleep 3600";
    Tmux(socket_, "-f /dev/null new-session -d -x " + std::to_string(width) + " -y " +
                      std::to_string(height) + " " + ShellQuoted(script));
}

TmuxTerminal::~TmuxTerminal() {
    Tmux(socket_, "kill-server");
}

void TmuxTerminal::SendKeys(const std::vector<std::string>& keys) {
    std::string arguments = "send-keys";
    for (const std::string& key : keys) arguments += " " + ShellQuoted(key);
    Tmux(socket_, arguments);
}

void TmuxTerminal::Type(const std::string& line) {
    Tmux(socket_, "send-keys -l " + ShellQuoted(line));
    SendKeys({"Enter"});
}

std::string TmuxTerminal::Screen() const {
    return Tmux(socket_, "capture-pane -p");
}

std::string TmuxTerminal::WaitFor(const std::string& text, std::chrono::milliseconds within) const {
    return WaitForCount(text, 1, within);
}

std::string TmuxTerminal::WaitForCount(const std::string& text, size_t count,
                                       std::chrono::milliseconds within) const {
    std::string screen;
    const bool seen =
        Eventually([&] { return Occurrences(screen = Screen(), text) >= count; }, within);
    EXPECT_TRUE(seen) << "waited in vain for " << count << " x \"" << text << "\" on\n" << screen;
    return screen;
}

}  // namespace qmdc_cli_test
