#include "line_reader.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace qmdc::cli {
namespace {

constexpr int kHistoryLines = 1000;

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnTypingInterrupt(int) {
    g_interrupted = 1;
}

// The terminal's keys for libedit. Ctrl-C (SIGINT, without SA_RESTART, so
// that read() returns) ends the line being typed as Enter would; Next() then
// discards it, as shells do.
int ReadKey(FILE*) {
    for (;;) {
        unsigned char key = 0;
        const ssize_t n = read(STDIN_FILENO, &key, 1);
        if (n == 1) return key;
        if (n == 0 || errno != EINTR) return EOF;
        if (g_interrupted) return '\n';
    }
}

// SIGINT raises the flag while a line is typed.
class InterruptWhileTyping {
  public:
    InterruptWhileTyping() {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = OnTypingInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptWhileTyping() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptWhileTyping(const InterruptWhileTyping&) = delete;
    InterruptWhileTyping& operator=(const InterruptWhileTyping&) = delete;

  private:
    struct sigaction previous_ {};
};

}  // namespace

LineReader::LineReader(std::string prompt, std::string historyFile)
    : prompt_(std::move(prompt)),
      historyFile_(std::move(historyFile)),
      interactive_(isatty(STDIN_FILENO) != 0) {
    if (!interactive_) return;
    // Before libedit starts (using_history starts it): our keys, our SIGINT.
    rl_getc_function = ReadKey;
    rl_catch_signals = 0;
    using_history();
    stifle_history(kHistoryLines);
    if (!historyFile_.empty()) read_history(historyFile_.c_str());
}

LineReader::~LineReader() {
    if (interactive_ && !historyFile_.empty()) write_history(historyFile_.c_str());
}

std::optional<std::string> LineReader::Next() {
    if (!interactive_) {
        std::string line;
        if (!std::getline(std::cin, line)) return {};
        return line;
    }
    char* typed = nullptr;
    bool interrupted = false;
    {
        const InterruptWhileTyping interrupts;
        typed = readline(prompt_.c_str());
        interrupted = g_interrupted != 0;
    }
    if (typed == nullptr) return {};
    std::string line = typed;
    std::free(typed);
    if (interrupted) return std::string();
    if (line.find_first_not_of(" \t") != std::string::npos) {
        add_history(line.c_str());
        // Saved at once, so that a session that ends badly keeps it too.
        if (!historyFile_.empty()) write_history(historyFile_.c_str());
    }
    return line;
}

std::string DefaultHistoryFile() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.qmdc_history" : std::string();
}

}  // namespace qmdc::cli
