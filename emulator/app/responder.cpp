#include "app/responder.h"

#include <algorithm>
#include <cstdio>

namespace qmdc::emu {

namespace {

constexpr auto kChunkPause = std::chrono::milliseconds(2);
constexpr size_t kLogLength = 200;

std::string Printable(std::string_view text) {
    std::string out;
    for (unsigned char c : text.substr(0, kLogLength)) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    if (text.size() > kLogLength) out += "...(" + std::to_string(text.size()) + ")";
    return out;
}

}  // namespace

void Responder::Log(const std::string& who, const char* what, std::string_view text) const {
    if (verbose_) std::fprintf(stderr, "[%s] %s %s\n", who.c_str(), what, Printable(text).c_str());
}

std::string Responder::Run(const std::string& who, const std::string& line, ClientCount& count) {
    ++count.messages;
    Log(who, "<-", line);
    const std::string reply = faults_.Reply(engine_.Execute(line));
    if (!reply.empty()) Log(who, "->", reply);
    if (faults_.dropAfter() != 0 && count.messages >= faults_.dropAfter() && !count.drop) {
        if (verbose_)
            std::fprintf(stderr, "[%s] dropping after %ld messages\n", who.c_str(), count.messages);
        count.drop = true;
    }
    return reply;
}

void Responder::Overflow(const std::string& who) {
    if (verbose_) std::fprintf(stderr, "[%s] input buffer overrun: line dropped\n", who.c_str());
    engine_.instrument().status().ReportError(-363);
}

bool LineSplitter::Feed(std::string_view bytes, bool end, Responder& responder,
                        const std::string& who,
                        const std::function<bool(const std::string&)>& onLine) {
    input_.append(bytes.data(), bytes.size());
    size_t start = 0;
    bool going = true;
    while (going) {
        size_t stop = input_.find('\n', start);
        if (stop == std::string::npos) {
            if (!end || start >= input_.size()) break;
            stop = input_.size();  // END ends the last line too
        }
        std::string line = input_.substr(start, stop - start);
        start = stop + 1;
        if (discarding_) {
            discarding_ = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) going = onLine(line);
    }
    input_.erase(0, std::min(start, input_.size()));
    if (!going) {
        Clear();
        return false;
    }
    if (input_.size() > Responder::kMaxLine) {
        responder.Overflow(who);
        input_.clear();
        discarding_ = !end;
    }
    if (end) discarding_ = false;
    return true;
}

std::vector<TimedPiece> Schedule(const std::string& reply, const FaultPlan& faults,
                                 Clock::time_point now, size_t maxChunk) {
    std::vector<TimedPiece> pieces;
    const auto delay = std::chrono::milliseconds(faults.delayMs());
    // The pause comes before the reply, or after its first bytes when it stalls.
    const size_t head = std::min(faults.stallAfter(), reply.size());
    size_t chunk = faults.split() == 0 ? reply.size() : faults.split();
    if (maxChunk != 0) chunk = std::min(chunk, maxChunk);
    chunk = std::max<size_t>(chunk, 1);
    Clock::time_point at = head > 0 ? now : now + delay;
    const auto cut = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; i += chunk) {
            pieces.push_back(TimedPiece{reply.substr(i, std::min(chunk, to - i)), at});
            if (faults.split() != 0) at += kChunkPause;
        }
    };
    cut(0, head);
    if (head > 0) at = std::max(at, now + delay);
    cut(head, reply.size());
    return pieces;
}

}  // namespace qmdc::emu
