// trace.cpp - the trace file. The library prints nothing anywhere else, but
// for one line on stderr when the trace file cannot be opened.
#include "trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "status_text.h"

namespace qmdc::visa {

std::atomic<bool> g_traceOn{false};

namespace {

std::once_flag g_once;
std::mutex g_mutex;
FILE* g_file = nullptr;

void appendEscaped(std::string& line, int c) {
    static const char kHex[] = "0123456789ABCDEF";
    switch (c) {
        case '\n':
            line += "\\n";
            return;
        case '\r':
            line += "\\r";
            return;
        case '\t':
            line += "\\t";
            return;
        case '\\':
            line += "\\\\";
            return;
        case '"':
            line += "\\\"";
            return;
        default:
            break;
    }
    if (c >= 0x20 && c < 0x7F) {
        line += static_cast<char>(c);
    } else {
        line += "\\x";
        line += kHex[(c >> 4) & 0xF];
        line += kHex[c & 0xF];
    }
}

// ISO 8601 UTC time with microseconds.
void appendTime(std::string& line) {
    const auto now = std::chrono::system_clock::now();
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(us / 1000000);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &seconds);
#else
    gmtime_r(&seconds, &tm);
#endif
    char text[48];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%06dZ", static_cast<int>(us % 1000000));
    line += text;
}

}  // namespace

void initTrace() {
    std::call_once(g_once, [] {
        const char* where = std::getenv("QMDC_VISA_TRACE");
        if (where == nullptr || *where == '\0') return;
        g_file = std::strcmp(where, "stderr") == 0 ? stderr : std::fopen(where, "a");
        if (g_file != nullptr) {
            g_traceOn.store(true, std::memory_order_relaxed);
        } else {
            // Asked for a trace and given none: say so, once, where it is seen.
            std::fprintf(stderr, "QMDC_VISA_TRACE: cannot open '%s' for appending (%s); no trace.\n",
                         where, std::strerror(errno));
        }
    });
}

void traceTransfer(const char* resource, const char* direction, const ViByte* data, size_t len,
                   int suffix, ViStatus status) {
    std::string line;
    line.reserve(96 + len * 2);
    appendTime(line);
    line += ' ';
    line += resource;
    line += ' ';
    line += direction;
    line += " \"";
    for (size_t i = 0; i < len; ++i) appendEscaped(line, data[i]);
    if (suffix >= 0) appendEscaped(line, suffix);
    const StatusText* text = findStatus(status);
    char tail[96];
    std::snprintf(tail, sizeof tail, "\" 0x%08X %s\n", static_cast<unsigned>(status),
                  text ? text->name : "(unknown status)");
    line += tail;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fputs(line.c_str(), g_file);
    std::fflush(g_file);
}

}  // namespace qmdc::visa
