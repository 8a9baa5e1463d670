// The panel's HTTP side on arbitrary bytes from a socket: the request parser
// (head, stated and chunked bodies, their limits), the access policy on the
// head, then the routes and value checks on the whole request. Besides what
// the sanitizers see:
// - the parser takes no byte beyond what it is given, and the same bytes fed
//   whole or in pieces of any size give the same request or the same refusal;
// - no body beyond the limit is kept, and the head is refused past its limit;
// - every answer is one of the statuses the panel gives, with a JSON body
//   when it says so, never longer than a bounded echo of the input;
// - a change reaches the supply only on a POST with the token, a known Host
//   and its own Origin, with a finite value.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/listen_address.h"
#include "http/request_parser.h"
#include "panel/panel_routes.h"
#include "support/fuzz_check.h"

using namespace qmdc::cli;
using namespace qmdc::cli::panel;

namespace {

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
// Small limits, so that the fuzzer reaches them.
constexpr http::RequestLimits kLimits{256, 1024, 16, 2048};

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

struct Outcome {
    http::RequestParser::State state;
    int failure = 0;
    size_t used = 0;
    http::HttpRequest request;
};

// Feeds text in pieces of step bytes (0: whole), checking the head with the
// policy as the server does: a refused head ends the request.
Outcome Parse(std::string_view text, size_t step, const AccessPolicy& policy, bool& refused) {
    http::RequestParser parser(kLimits);
    Outcome out{};
    refused = false;
    bool checked = false;
    for (size_t at = 0;;) {
        const size_t size = step == 0 ? text.size() - at : std::min(step, text.size() - at);
        const size_t used = parser.Feed(text.substr(at, size));
        FUZZ_CHECK(used <= size, "took %zu of %zu bytes", used, size);
        at += used;
        using State = http::RequestParser::State;
        if (parser.state() == State::Body && !checked) {
            checked = true;
            FUZZ_CHECK(parser.request().body.empty(), "a body before the head was checked");
            if (policy.Check(parser.request())) {
                refused = true;
                break;
            }
            continue;
        }
        if (parser.state() == State::Complete || parser.state() == State::Failed) break;
        if (used == 0 && (at == text.size() || size == 0)) break;  // needs more than there is
    }
    out.state = parser.state();
    out.failure = parser.failureStatus();
    out.request = std::move(parser.request());
    FUZZ_CHECK(out.request.body.size() <= kLimits.body, "a body of %zu bytes",
               out.request.body.size());
    return out;
}

bool Allowed(const http::HttpRequest& request) {
    return request.method == "POST" && request.Query("token") == kToken &&
           (request.Header("Host") == "127.0.0.1:8080" ||
            request.Header("Host") == "localhost:8080") &&
           request.Header("Origin") == "http://" + request.Header("Host");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const AccessPolicy policy(kToken, http::AnsweredHosts("127.0.0.1", 8080, {}));
    if (size == 0) return 0;
    // The first byte chooses the pieces the rest arrives in.
    const size_t step = 1 + data[0] % 7;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    bool refusedWhole = false, refusedInPieces = false;
    Outcome whole = Parse(text, 0, policy, refusedWhole);
    const Outcome pieces = Parse(text, step, policy, refusedInPieces);
    FUZZ_CHECK(whole.state == pieces.state && whole.failure == pieces.failure &&
                   refusedWhole == refusedInPieces,
               "whole and in pieces of %zu differ: %d/%d %d/%d", step, int(whole.state),
               int(pieces.state), whole.failure, pieces.failure);
    FUZZ_CHECK(
        whole.request.body == pieces.request.body && whole.request.path == pieces.request.path,
        "whole and in pieces of %zu give different requests", step);
    if (refusedWhole || whole.state != http::RequestParser::State::Complete) return 0;

    const http::HttpRequest& request = whole.request;
    RecordingBackend backend;
    const http::HttpResponse response = PanelRoutes(policy, backend).Handle(request);
    static const int kStatuses[] = {200, 400, 403, 404, 405, 422};
    bool known = false;
    for (const int status : kStatuses) known |= response.status == status;
    FUZZ_CHECK(known, "status %d", response.status);
    if (response.contentType == "application/json") {
        FUZZ_CHECK(nlohmann::json::accept(response.body), "not JSON: %s", response.body.c_str());
    }
    if (response.status != 200) {
        FUZZ_CHECK(response.body.size() < 400, "a refusal of %zu bytes", response.body.size());
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
