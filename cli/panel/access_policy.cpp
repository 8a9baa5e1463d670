#include "panel/access_policy.h"

#include <cstdio>
#include <random>

#include "http/listen_address.h"
#include "text_case.h"

namespace qmdc::cli::panel {
AccessPolicy::AccessPolicy(std::string token, std::vector<std::string> hosts)
    : token_(std::move(token)), hosts_(std::move(hosts)) {}

std::optional<HttpResponse> AccessPolicy::Check(const HttpRequest& request) const {
    const std::string host = request.Header("Host");
    if (!http::AnswersHost(hosts_, host)) {
        return ErrorResponse(403, "this panel does not answer for host '" + EchoText(host) +
                                      "' (qmdc panel --allow-host NAME answers for NAME)");
    }
    std::string token = request.Query("token");
    if (token.empty()) token = request.Header("X-Panel-Token");
    if (!http::SameSecret(token, token_)) {
        return ErrorResponse(403,
                             "the panel's token is missing or wrong: open the address "
                             "qmdc panel printed");
    }
    if (request.method == "GET" || request.method == "HEAD") return std::nullopt;
    if (request.method != "POST") return ErrorResponse(405, "only GET and POST are answered");
    const std::string origin = request.Header("Origin");
    if (origin.empty() || !EqualsIgnoringCase(origin, "http://" + host)) {
        return ErrorResponse(403, "a change must come from the panel's own page (Origin '" +
                                      EchoText(origin) + "')");
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

}  // namespace qmdc::cli::panel
