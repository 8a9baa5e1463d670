// Requests and answers as plain values, apart from the sockets that carry
// them, so that what a service allows and refuses can be tested and fuzzed
// without a server.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qmdc::cli::http {

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // without the query, percent escapes decoded
    std::multimap<std::string, std::string> query;
    std::multimap<std::string, std::string> headers;  // names as sent; looked up ignoring case
    std::string body;

    // The first header of that name (any letter case), or "".
    std::string Header(const std::string& name) const;
    std::string Query(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // An event stream: the body is its first event; the connection stays
    // open and gets every HttpServer::Broadcast after it. streamSeen: where
    // the stream stands, for a Broadcast that makes each stream its own text.
    bool stream = false;
    unsigned long long streamSeen = 0;
};

// A refusal: a JSON body {"error": message}.
HttpResponse ErrorResponse(int status, const std::string& message);

// A peer's text inside a message: at most limit characters (then "..."),
// control characters as '?', so that no answer echoes an unbounded value.
std::string EchoText(std::string_view text, size_t limit = 64);

// Whether a token given by a client is the secret one. Compares without
// stopping at the first difference, so that the time taken says nothing of
// how much of a guessed token was right.
bool SameSecret(const std::string& given, const std::string& secret);

// "Not Found" for 404, ...; "" for a status it does not know.
const char* ReasonPhrase(int status);

}  // namespace qmdc::cli::http
