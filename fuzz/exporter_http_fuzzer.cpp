// The exporter's request handling and exposition on arbitrary requests (see
// support/request_text.h), whose body names the supplies: each line of it is
// a supply name, model and serial in turn. Besides what the sanitizers see:
// every answer is one of the statuses the exporter gives; metrics go only to
// a request with a known Host and the token; and every line of the metrics
// is a HELP, TYPE or EOF line or a well-formed sample, so that no name
// breaks out of its quotes or its line.
#include <cstdint>
#include <cstring>
#include <string>

#include "exporter/exporter_routes.h"
#include "http/listen_address.h"
#include "panel/access_policy.h"
#include "support/fuzz_check.h"
#include "support/request_text.h"
#include "text_case.h"

using namespace qmdc::cli;

namespace {

constexpr const char* kToken = "s3cret";

std::vector<metrics::SupplySnapshot> Supplies(const std::string& body) {
    std::vector<std::string> fields;
    for (size_t at = 0; at <= body.size() && fields.size() < 12;) {
        const size_t end = std::min(body.find('\n', at), body.size());
        fields.push_back(body.substr(at, end - at));
        at = end + 1;
    }
    std::vector<metrics::SupplySnapshot> supplies;
    for (size_t i = 0; i < fields.size(); i += 3) {
        metrics::SupplySnapshot s;
        s.supply = fields[i];
        s.model = i + 1 < fields.size() ? fields[i + 1] : "";
        s.serial = i + 2 < fields.size() ? fields[i + 2] : "";
        s.up = supplies.size() % 2 == 0;
        if (s.up) s.readings = metrics::SupplyReadings{};
        s.counts = metrics::SupplyCounts{};
        supplies.push_back(s);
    }
    return supplies;
}

bool NameCharacter(char c, bool first) {
    return c == '_' || c == ':' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (!first && c >= '0' && c <= '9');
}

// name{label="value",...} number
bool WellFormedSample(const std::string& line) {
    size_t at = 0;
    while (at < line.size() && NameCharacter(line[at], at == 0)) ++at;
    if (at == 0) return false;
    if (at < line.size() && line[at] == '{') {
        ++at;
        while (at < line.size() && line[at] != '}') {
            const size_t name = at;
            while (at < line.size() && NameCharacter(line[at], at == name)) ++at;
            if (at == name || line.compare(at, 2, "=\"") != 0) return false;
            for (at += 2; at < line.size() && line[at] != '"'; ++at) {
                if (line[at] != '\\') continue;
                if (++at >= line.size() || std::strchr("\\\"n", line[at]) == nullptr) return false;
            }
            if (at >= line.size()) return false;
            ++at;
            if (at < line.size() && line[at] == ',') ++at;
        }
        if (at >= line.size()) return false;
        ++at;
    }
    if (at >= line.size() || line[at] != ' ') return false;
    const std::string value = line.substr(at + 1);
    if (value == "NaN" || value == "+Inf" || value == "-Inf") return true;
    char* end = nullptr;
    std::strtod(value.c_str(), &end);
    return !value.empty() && end == value.c_str() + value.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const panel::HttpRequest request =
        qmdc::fuzz::ParseRequestText(std::string(reinterpret_cast<const char*>(data), size));
    const exporter::ExporterRoutes routes({kToken, http::AnsweredHosts("127.0.0.1", 9923, {})},
                                          [&request] { return Supplies(request.body); });
    const panel::HttpResponse response = routes.Handle(request);
    static const int kStatuses[] = {200, 401, 403, 404, 405};
    bool known = false;
    for (const int status : kStatuses) known |= response.status == status;
    FUZZ_CHECK(known, "status %d", response.status);
    if (response.status != 200 || request.path != "/metrics") return 0;
    const std::string host = request.Header("Host");
    FUZZ_CHECK(
        EqualsIgnoringCase(host, "127.0.0.1:9923") || EqualsIgnoringCase(host, "localhost:9923"),
        "metrics for host '%s'", host.c_str());
    FUZZ_CHECK(request.Header("Authorization").find(kToken) != std::string::npos,
               "metrics without the token");
    const std::string& body = response.body;
    FUZZ_CHECK(!body.empty() && body.back() == '\n', "metrics not ended by a line end");
    for (size_t at = 0; at < body.size();) {
        const size_t end = body.find('\n', at);
        const std::string line = body.substr(at, end - at);
        const bool comment =
            line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0 || line == "# EOF";
        FUZZ_CHECK(comment || WellFormedSample(line), "a broken line: %s", line.c_str());
        at = end + 1;
    }
    return 0;
}
