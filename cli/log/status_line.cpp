#include "log/status_line.h"

#include <sys/ioctl.h>

#include <cstdio>

namespace qmdc::cli {
namespace {

std::string Elapsed(double seconds) {
    const long long s = seconds > 0.0 ? static_cast<long long>(seconds) : 0;
    char text[64];
    if (s >= 86400) {
        std::snprintf(text, sizeof text, "%lldd %02lld:%02lld:%02lld", s / 86400, s / 3600 % 24,
                      s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    }
    return text;
}

// Lost rows weigh more than missed ones: a missed reading is only late.
bool Worse(const SupplyCounts& a, const SupplyCounts& b) {
    return a.lost != b.lost ? a.lost > b.lost : a.missed > b.missed;
}

// The first characters (not bytes: UTF-8 continuation bytes take no column)
// that fit in columns, control characters replaced.
std::string Fitted(const std::string& line, size_t columns) {
    std::string fitted;
    size_t used = 0;
    for (const char c : line) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation && used == columns) break;
        if (!continuation) ++used;
        fitted += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return fitted;
}

}  // namespace

std::string StatusLine(const std::vector<SupplyCounts>& supplies, double elapsedSeconds,
                       size_t columns) {
    long long ok = 0, missed = 0, lost = 0;
    const SupplyCounts* worst = nullptr;
    for (const SupplyCounts& supply : supplies) {
        ok += supply.ok;
        missed += supply.missed;
        lost += supply.lost;
        if (worst == nullptr || Worse(supply, *worst)) worst = &supply;
    }
    std::string line = Elapsed(elapsedSeconds) + " | " + std::to_string(ok + missed + lost) +
                       " rows: " + std::to_string(ok) + " ok, " + std::to_string(missed) +
                       " missed, " + std::to_string(lost) + " lost";
    if (worst != nullptr && (worst->lost > 0 || worst->missed > 0)) {
        line += " | worst " + worst->name + ": " + std::to_string(worst->lost) + " lost, " +
                std::to_string(worst->missed) + " missed, now " + worst->now;
    } else if (supplies.size() == 1) {
        line += " | " + worst->name + " " + worst->now;
    } else if (!supplies.empty()) {
        line += " | " + std::to_string(supplies.size()) + " supplies all ok";
    }
    return Fitted(line, columns > 1 ? columns - 1 : 0);
}

size_t TerminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace qmdc::cli
