#include "support/request_text.h"

#include <algorithm>

namespace qmdc::fuzz {
namespace {

std::string NextLine(const std::string& text, size_t& at) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end < text.size() ? end + 1 : end;
    return line;
}

}  // namespace

cli::panel::HttpRequest ParseRequestText(const std::string& text) {
    cli::panel::HttpRequest request;
    size_t at = 0;
    request.method = NextLine(text, at);
    request.path = NextLine(text, at);
    const std::string query = NextLine(text, at);
    for (size_t from = 0; from <= query.size();) {
        const size_t end = std::min(query.find('&', from), query.size());
        const std::string pair = query.substr(from, end - from);
        const size_t equals = pair.find('=');
        request.query.emplace(pair.substr(0, equals),
                              equals == std::string::npos ? "" : pair.substr(equals + 1));
        from = end + 1;
    }
    for (std::string line; !(line = NextLine(text, at)).empty();) {
        // The blanks after the colon are not the value's, as an HTTP server reads it.
        const size_t colon = line.find(':');
        const size_t value =
            colon == std::string::npos ? line.size() : line.find_first_not_of(" \t", colon + 1);
        request.headers.emplace(line.substr(0, colon),
                                value == std::string::npos ? "" : line.substr(value));
    }
    request.body = text.substr(at);
    return request;
}

}  // namespace qmdc::fuzz
