#include "http/http_message.h"

#include <nlohmann/json.hpp>

#include "text_case.h"

namespace qmdc::cli::http {

std::string HttpRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoringCase(key, name)) return value;
    }
    return "";
}

std::string HttpRequest::Query(const std::string& name) const {
    const auto found = query.find(name);
    return found == query.end() ? "" : found->second;
}

HttpResponse ErrorResponse(int status, const std::string& message) {
    HttpResponse response;
    response.status = status;
    response.body = nlohmann::json{{"error", message}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    return response;
}

std::string EchoText(std::string_view text, size_t limit) {
    std::string echo;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        echo += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    if (text.size() > limit) echo += "...";
    return echo;
}

const char* ReasonPhrase(int status) {
    static const std::pair<int, const char*> kPhrases[] = {
        {100, "Continue"},
        {200, "OK"},
        {400, "Bad Request"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {408, "Request Timeout"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {422, "Unprocessable Content"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {503, "Service Unavailable"},
        {505, "HTTP Version Not Supported"},
    };
    for (const auto& [code, phrase] : kPhrases) {
        if (code == status) return phrase;
    }
    return "";
}

bool SameSecret(const std::string& given, const std::string& secret) {
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (size_t i = 0; i < secret.size(); ++i) {
        difference |= static_cast<unsigned char>(secret[i] ^ (i < given.size() ? given[i] : 0));
    }
    return difference == 0;
}

}  // namespace qmdc::cli::http
