// The panel's requests and answers as plain values, apart from the HTTP
// server that carries them, so that what the panel allows and refuses can be
// tested and fuzzed without a socket.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qmdc::cli::panel {

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // without the query
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
};

}  // namespace qmdc::cli::panel
