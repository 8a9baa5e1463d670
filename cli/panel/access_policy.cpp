#include "panel/access_policy.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <random>

#include "text_case.h"

namespace qmdc::cli::panel {
namespace {

// Compares without stopping at the first difference, so that the time taken
// says nothing of how much of a guessed token was right.
bool SameSecret(const std::string& given, const std::string& secret) {
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (size_t i = 0; i < secret.size(); ++i) {
        difference |= static_cast<unsigned char>(secret[i] ^ (i < given.size() ? given[i] : 0));
    }
    return difference == 0;
}

}  // namespace

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

AccessPolicy::AccessPolicy(std::string token, std::vector<std::string> hosts)
    : token_(std::move(token)), hosts_(std::move(hosts)) {}

std::optional<HttpResponse> AccessPolicy::Check(const HttpRequest& request) const {
    const std::string host = request.Header("Host");
    if (!hosts_.empty()) {
        bool known = false;
        for (const std::string& allowed : hosts_) known |= EqualsIgnoringCase(host, allowed);
        if (!known) return ErrorResponse(403, "this panel does not answer for host '" + host + "'");
    }
    std::string token = request.Query("token");
    if (token.empty()) token = request.Header("X-Panel-Token");
    if (!SameSecret(token, token_)) {
        return ErrorResponse(403,
                             "the panel's token is missing or wrong: open the address "
                             "qmdc panel printed");
    }
    if (request.method == "GET" || request.method == "HEAD") return std::nullopt;
    if (request.method != "POST") return ErrorResponse(405, "only GET and POST are answered");
    const std::string origin = request.Header("Origin");
    if (origin.empty() || !EqualsIgnoringCase(origin, "http://" + host)) {
        return ErrorResponse(
            403, "a change must come from the panel's own page (Origin '" + origin + "')");
    }
    return std::nullopt;
}

std::string RandomToken() {
    std::random_device source;  // /dev/urandom on Linux
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(source()));
        token += part;
    }
    return token;
}

std::vector<std::string> HostsFor(const std::string& address, int port) {
    const std::string suffix = ":" + std::to_string(port);
    if (address == "0.0.0.0" || address == "::" || address.empty()) return {};
    const bool v6 = address.find(':') != std::string::npos;
    std::vector<std::string> hosts = {(v6 ? "[" + address + "]" : address) + suffix};
    if (address.rfind("127.", 0) == 0 || address == "::1") hosts.push_back("localhost" + suffix);
    return hosts;
}

}  // namespace qmdc::cli::panel
