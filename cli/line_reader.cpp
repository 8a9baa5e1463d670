#include "line_reader.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace qmdc::cli {
namespace {

constexpr int kHistoryLines = 1000;

}  // namespace

LineReader::LineReader(std::string prompt, std::string historyFile)
    : prompt_(std::move(prompt)),
      historyFile_(std::move(historyFile)),
      interactive_(isatty(STDIN_FILENO) != 0) {
    if (!interactive_) return;
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
    char* typed = readline(prompt_.c_str());
    if (typed == nullptr) return {};
    std::string line = typed;
    std::free(typed);
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
