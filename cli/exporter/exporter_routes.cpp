#include "exporter/exporter_routes.h"

#include <fstream>

#include "failure.h"
#include "http/listen_address.h"
#include "text_case.h"

namespace qmdc::cli::exporter {
namespace {

// A token file is a line, a resources file a list of supplies: anything
// longer is not one.
constexpr size_t kMaxTokenFile = 4096;
constexpr size_t kMaxResourcesFile = 1024 * 1024;

HttpResponse Plain(int status, const std::string& body) {
    HttpResponse response;
    response.status = status;
    response.contentType = "text/plain; charset=utf-8";
    response.body = body + "\n";
    response.headers.emplace_back("Cache-Control", "no-store");
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    return response;
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

constexpr const char* kIndex =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>qmdc exporter</title></head>"
    "<body><h1>qmdc exporter</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

}  // namespace

std::optional<HttpResponse> ExporterRoutes::Refusal(const HttpRequest& head) const {
    if (!access_.hosts.empty()) {
        const std::string host = head.Header("Host");
        if (!http::AnswersHost(access_.hosts, host)) {
            return Plain(403,
                         "this exporter does not answer for host '" + http::EchoText(host) + "'");
        }
    }
    if (!access_.token.empty()) {
        const std::string authorization = head.Header("Authorization");
        const std::string scheme = "Bearer ";
        const bool bearer = authorization.size() > scheme.size() &&
                            EqualsIgnoringCase(authorization.substr(0, scheme.size()), scheme);
        if (!bearer ||
            !http::SameSecret(Trimmed(authorization.substr(scheme.size())), access_.token)) {
            HttpResponse refusal = Plain(401, "a bearer token is required");
            refusal.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"qmdc\"");
            return refusal;
        }
    }
    if (head.method != "GET" && head.method != "HEAD") {
        HttpResponse refusal = Plain(405, "only GET is answered");
        refusal.headers.emplace_back("Allow", "GET, HEAD");
        return refusal;
    }
    return std::nullopt;
}

HttpResponse ExporterRoutes::Handle(const HttpRequest& request) const {
    if (std::optional<HttpResponse> refusal = Refusal(request)) return *refusal;
    if (request.path == "/metrics") {
        const metrics::MetricsPage page =
            metrics::RenderMetrics(snapshots_(), request.Header("Accept"));
        HttpResponse response = Plain(200, "");
        response.contentType = page.contentType;
        response.body = page.body;
        return response;
    }
    if (request.path == "/") {
        HttpResponse response = Plain(200, "");
        response.contentType = "text/html; charset=utf-8";
        response.body = kIndex;
        return response;
    }
    return Plain(404, "no such page: the metrics are at /metrics");
}

namespace {

// The whole of a small file; throws a Failure naming what it is.
std::string SmallFile(const std::string& path, const std::string& what, size_t most) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read the " + what + " " + path);
    std::string text(most + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > most) {
        throw Failure("the " + what + " " + path + " is longer than " + std::to_string(most) +
                      " bytes");
    }
    return text;
}

}  // namespace

std::string ReadTokenFile(const std::string& path) {
    const std::string text = SmallFile(path, "token file", kMaxTokenFile);
    const std::string token = Trimmed(text.substr(0, text.find('\n')));
    if (token.empty()) throw Failure("the token file " + path + " holds no token");
    return token;
}

std::vector<std::string> ReadResourcesFile(const std::string& path) {
    const std::string text = SmallFile(path, "resources file", kMaxResourcesFile);
    std::vector<std::string> names;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = Trimmed(text.substr(at, end - at));
        if (!line.empty() && line[0] != '#') names.push_back(line);
        at = end + 1;
    }
    return names;
}

}  // namespace qmdc::cli::exporter
