#include "http/request_parser.h"

#include <algorithm>
#include <cctype>

#include "text_case.h"

namespace qmdc::cli::http {
namespace {

// A chunk-size line: the size in hexadecimal and any extensions.
constexpr size_t kChunkLine = 256;
// Fifteen hexadecimal digits already exceed any body the limits allow.
constexpr size_t kChunkDigits = 15;

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes decoded ('+' as a blank when plus is set); false for a
// broken escape or a NUL.
bool Decoded(std::string_view text, bool plus, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plus) {
            c = ' ';
        }
        if (c == '\0') return false;
        out += c;
    }
    return true;
}

// Whether the comma-separated list holds the token (any letter case).
bool ListHas(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const size_t comma = std::min(list.find(','), list.size());
        if (EqualsIgnoringCase(std::string(Trimmed(list.substr(0, comma))), std::string(token))) {
            return true;
        }
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return false;
}

}  // namespace

void RequestParser::Reset() {
    *this = RequestParser(limits_);
}

void RequestParser::Fail(int status, std::string text) {
    state_ = State::Failed;
    failureStatus_ = status;
    failureText_ = std::move(text);
    keepAlive_ = false;
}

size_t RequestParser::Feed(std::string_view bytes) {
    switch (state_) {
        case State::Head:
            return FeedHead(bytes);
        case State::Body:
            return FeedBody(bytes);
        default:
            return 0;
    }
}

size_t RequestParser::FeedHead(std::string_view bytes) {
    size_t used = 0;
    while (used < bytes.size() && state_ == State::Head) {
        const char c = bytes[used++];
        // Empty lines before the request line are left out.
        if (head_.empty() && (c == '\r' || c == '\n')) continue;
        head_ += c;
        lineEnded_ |= c == '\n';
        if (head_.size() > limits_.head) {
            Fail(431,
                 "the request's head is longer than " + std::to_string(limits_.head) + " bytes");
        } else if (!lineEnded_ && head_.size() > limits_.requestLine) {
            Fail(414, "the request line is longer than " + std::to_string(limits_.requestLine) +
                          " bytes");
        } else if (c == '\n') {
            const size_t n = head_.size();
            if ((n >= 2 && head_[n - 2] == '\n') ||
                (n >= 3 && head_[n - 2] == '\r' && head_[n - 3] == '\n')) {
                ParseHead();
            }
        }
    }
    return used;
}

bool RequestParser::ParseRequestLine(std::string_view line) {
    const size_t first = line.find(' ');
    const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
        Fail(400, "the request line is not METHOD TARGET VERSION");
        return false;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!IsToken(method)) {
        Fail(400, "the method is not a word");
        return false;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        Fail(version.substr(0, 5) == "HTTP/" ? 505 : 400,
             "only HTTP/1.1 and HTTP/1.0 are answered");
        return false;
    }
    if (target.empty() || target.front() != '/' ||
        std::any_of(target.begin(), target.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; })) {
        Fail(400, "the target must be a path");
        return false;
    }
    request_.method = std::string(method);
    keepAlive_ = version == "HTTP/1.1";
    const size_t mark = target.find('?');
    if (!Decoded(target.substr(0, mark), false, request_.path)) {
        Fail(400, "the path has a broken escape");
        return false;
    }
    if (mark == std::string_view::npos) return true;
    std::string_view query = target.substr(mark + 1);
    while (!query.empty()) {
        const size_t amp = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, amp);
        const size_t equals = pair.find('=');
        std::string name, value;
        if (!Decoded(pair.substr(0, equals), true, name) ||
            !Decoded(equals == std::string_view::npos ? "" : pair.substr(equals + 1), true,
                     value)) {
            Fail(400, "the query has a broken escape");
            return false;
        }
        if (!pair.empty()) request_.query.emplace(std::move(name), std::move(value));
        query.remove_prefix(std::min(amp + 1, query.size()));
    }
    return true;
}

void RequestParser::ParseHead() {
    std::string_view rest = head_;
    bool first = true;
    size_t hosts = 0;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the end of the head
        if (first) {
            first = false;
            if (!ParseRequestLine(line)) return;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            Fail(400, "a header line is not NAME: VALUE");  // folded lines too
            return;
        }
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](char c) {
                return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
            })) {
            Fail(400, "a header holds a control character");
            return;
        }
        if (request_.headers.size() == limits_.headers) {
            Fail(431, "more than " + std::to_string(limits_.headers) + " headers");
            return;
        }
        const std::string name(line.substr(0, colon));
        hosts += EqualsIgnoringCase(name, "Host") ? 1 : 0;
        request_.headers.emplace(name, std::string(value));
    }
    if (hosts > 1) {
        Fail(400, "more than one Host header");
        return;
    }
    if (ListHas(request_.Header("Connection"), "close")) keepAlive_ = false;
    expectsContinue_ = EqualsIgnoringCase(request_.Header("Expect"), "100-continue");
    head_.clear();
    head_.shrink_to_fit();
    state_ = State::Body;
}

// Decided at the first Feed of the body, after the caller has checked the
// head, so that a refusal of the caller (403) comes before one of the body.
void RequestParser::ChooseFraming() {
    framingChosen_ = true;
    size_t lengths = 0, codings = 0;
    std::string length, coding;
    for (const auto& [name, value] : request_.headers) {
        if (EqualsIgnoringCase(name, "Content-Length")) ++lengths, length = value;
        if (EqualsIgnoringCase(name, "Transfer-Encoding")) ++codings, coding = value;
    }
    if (codings > 0 && lengths > 0) {
        Fail(400, "a request states both a length and a transfer coding");
    } else if (codings > 0) {
        if (codings > 1 || !EqualsIgnoringCase(coding, "chunked")) {
            Fail(501, "the only transfer coding answered is chunked");
        } else {
            framing_ = Framing::Chunked;
        }
    } else if (lengths > 0) {
        if (lengths > 1 || length.empty() || length.size() > 18 ||
            length.find_first_not_of("0123456789") != std::string::npos) {
            Fail(400, "the Content-Length is not one decimal number");
        } else if (std::stoull(length) > limits_.body) {
            Fail(413, "a body is at most " + std::to_string(limits_.body) + " bytes");
        } else {
            framing_ = Framing::Length;
            remaining_ = std::stoull(length);
        }
    }
}

size_t RequestParser::FeedBody(std::string_view bytes) {
    if (!framingChosen_) ChooseFraming();
    if (state_ != State::Body) return 0;
    if (framing_ == Framing::Chunked) return FeedChunks(bytes);
    const size_t used = std::min(remaining_, bytes.size());
    request_.body.append(bytes.data(), used);
    remaining_ -= used;
    if (remaining_ == 0) state_ = State::Complete;
    return used;
}

size_t RequestParser::FeedChunks(std::string_view bytes) {
    size_t used = 0;
    while (used < bytes.size() && state_ == State::Body) {
        if (chunkStep_ == ChunkStep::Data) {
            const size_t take = std::min(remaining_, bytes.size() - used);
            request_.body.append(bytes.data() + used, take);
            used += take;
            remaining_ -= take;
            if (remaining_ == 0) chunkStep_ = ChunkStep::DataEnd;
            continue;
        }
        const char c = bytes[used++];
        if (c != '\n') {
            line_ += c;
            const size_t limit = chunkStep_ == ChunkStep::Trailer ? limits_.head : kChunkLine;
            if (line_.size() > limit || trailerBytes_ + line_.size() > limits_.head) {
                Fail(chunkStep_ == ChunkStep::Trailer ? 431 : 400,
                     "a chunk's size line or the trailers are too long");
            }
            continue;
        }
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        const std::string line = std::move(line_);
        line_.clear();
        if (!ChunkLine(line)) return used;
    }
    return used;
}

// One line of the chunked coding: a size, the end of a chunk's data, or a
// trailer. False once the request is complete or refused.
bool RequestParser::ChunkLine(std::string_view line) {
    switch (chunkStep_) {
        case ChunkStep::Size: {
            const std::string_view digits = line.substr(0, line.find_first_of("; \t"));
            if (digits.empty() || digits.size() > kChunkDigits ||
                std::any_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) < 0; })) {
                Fail(400, "a chunk's size is not a hexadecimal number");
                return false;
            }
            size_t size = 0;
            for (const char c : digits) size = size * 16 + static_cast<size_t>(HexDigit(c));
            if (size > limits_.body - request_.body.size()) {
                Fail(413, "a body is at most " + std::to_string(limits_.body) + " bytes");
                return false;
            }
            remaining_ = size;
            chunkStep_ = size == 0 ? ChunkStep::Trailer : ChunkStep::Data;
            return true;
        }
        case ChunkStep::DataEnd:
            if (!line.empty()) {
                Fail(400, "a chunk is longer than its size");
                return false;
            }
            chunkStep_ = ChunkStep::Size;
            return true;
        case ChunkStep::Trailer:
            if (line.empty()) {
                state_ = State::Complete;
                return false;
            }
            trailerBytes_ += line.size() + 2;
            return true;
        case ChunkStep::Data:
            break;
    }
    return true;
}

}  // namespace qmdc::cli::http
