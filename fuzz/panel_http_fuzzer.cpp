// The panel's request handling (access policy, routes, value checks) on
// arbitrary requests. An input is lines: the method, the path, the query
// (k=v&k=v), header lines "Name: value" up to an empty line, then the body.
// Besides what the sanitizers see: every answer is one of the statuses the
// panel gives, with a JSON body when it says so, and a change reaches the
// supply only on a POST with the token, a known Host and its own Origin,
// with a finite value.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <string>

#include "panel/panel_routes.h"
#include "support/fuzz_check.h"
#include "support/request_text.h"

using namespace qmdc::cli::panel;

namespace {

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

class RecordingBackend : public PanelBackend {
  public:
    size_t SupplyCount() const override { return 2; }
    nlohmann::json State() const override { return {{"supplies", nlohmann::json::array()}}; }
    nlohmann::json History(size_t) const override { return nlohmann::json::array(); }
    std::string Csv(size_t) const override { return "time\n"; }
    CommandOutcome Run(size_t supply, const PanelCommand& command) override {
        FUZZ_CHECK(supply < 2, "supply %zu reached", supply);
        FUZZ_CHECK(std::isfinite(command.value), "a value that is not finite reached the supply");
        ++runs;
        return {command.value < 50, "refused"};
    }
    int runs = 0;
};

bool Allowed(const HttpRequest& request) {
    return request.method == "POST" && request.Query("token") == kToken &&
           (request.Header("Host") == "127.0.0.1:8080" ||
            request.Header("Host") == "localhost:8080") &&
           request.Header("Origin") == "http://" + request.Header("Host");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const AccessPolicy policy(kToken, HostsFor("127.0.0.1", 8080));
    const HttpRequest request =
        qmdc::fuzz::ParseRequestText(std::string(reinterpret_cast<const char*>(data), size));
    RecordingBackend backend;
    const HttpResponse response = PanelRoutes(policy, backend).Handle(request);
    static const int kStatuses[] = {200, 400, 403, 404, 405, 422};
    bool known = false;
    for (const int status : kStatuses) known |= response.status == status;
    FUZZ_CHECK(known, "status %d", response.status);
    if (response.contentType == "application/json") {
        FUZZ_CHECK(nlohmann::json::accept(response.body), "not JSON: %s", response.body.c_str());
    }
    FUZZ_CHECK(backend.runs <= 1, "%d changes for one request", backend.runs);
    // Letter case of the header names and values may differ from what Allowed() compares.
    if (backend.runs > 0) {
        FUZZ_CHECK(request.method == "POST" && request.Query("token") == kToken,
                   "a change without POST and the token");
        FUZZ_CHECK(!request.Header("Origin").empty(), "a change without an Origin");
    }
    if (Allowed(request) && response.status == 403) {
        FUZZ_CHECK(false, "an allowed request was refused: %s", response.body.c_str());
    }
    return 0;
}
