// What the panel's web side lets through to a supply and what it refuses,
// without a socket: each row a request, the status answered and the change
// that reached the supply (if any).
#include <gtest/gtest.h>

#include <optional>

#include "http/listen_address.h"
#include "panel/panel_routes.h"

namespace qmdc::cli::panel {
namespace {

// Answers like one supply and remembers the changes it was asked for.
class RecordingBackend : public PanelBackend {
  public:
    size_t SupplyCount() const override { return 2; }
    nlohmann::json State() const override { return {{"supplies", nlohmann::json::array()}}; }
    nlohmann::json History(size_t) const override { return nlohmann::json::array(); }
    std::string Csv(size_t supply) const override { return "csv of " + std::to_string(supply); }
    CommandOutcome Run(size_t supply, const PanelCommand& command) override {
        runs.push_back({supply, command});
        if (command.value > 100) return {false, "-222 Data out of range"};
        return {true, ""};
    }
    std::vector<std::pair<size_t, PanelCommand>> runs;
};

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr const char* kHost = "127.0.0.1:8080";

HttpRequest Request(const std::string& method, const std::string& path, bool token = true,
                    std::string body = "", std::string origin = "http://127.0.0.1:8080",
                    std::string host = kHost) {
    HttpRequest request{method, path, {}, {{"Host", host}}, std::move(body)};
    if (token) request.query.emplace("token", kToken);
    if (!origin.empty()) request.headers.emplace("origin", origin);
    return request;
}

struct Row {
    HttpRequest request;
    int status;
    std::optional<CommandKind> sent;  // the change that reached the supply
    double value = 0.0;
    std::string body;  // a part of the answer
};

TEST(PanelRoutes, AllowsAndRefuses) {
    const std::string post = "POST";
    const std::vector<Row> rows = {
        {Request("GET", "/"), 200, {}, 0, "/panel.js?token=" + std::string(kToken)},
        {Request("GET", "/panel.js"), 200, {}, 0, "EventSource"},
        {Request("GET", "/api/state"), 200, {}, 0, "supplies"},
        {Request("GET", "/api/log/1.csv"), 200, {}, 0, "csv of 1"},
        {Request("GET", "/api/log/2.csv"), 404, {}, 0, "nothing at"},
        {Request("GET", "/api/log/01x.csv"), 404, {}, 0, ""},
        {Request("GET", "/api/history/1"), 200, {}, 0, "[]"},
        {Request("GET", "/etc/passwd"), 404, {}, 0, ""},
        {Request("GET", "/api/state", false), 403, {}, 0, "token"},
        {Request("GET", "/api/state", false, "", "", kHost), 403, {}, 0, "token"},
        {Request("GET", "/", true, "", "", "rebound.example:8080"), 403, {}, 0, "host"},
        {Request("GET", "/", true, "", "", ""), 403, {}, 0, "host"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "12"})"), 200,
         CommandKind::VoltageLevel, 12.0, "done"},
        {Request(post, "/api/supplies/1/current", true, R"({"value": 2.5})"), 200,
         CommandKind::CurrentLevel, 2.5, "done"},
        {Request(post, "/api/supplies/0/ovp", true, R"({"value": "1e2"})"), 200,
         CommandKind::OvpLevel, 100.0, ""},
        {Request(post, "/api/supplies/0/ocp", true, R"({"value": "150"})"), 422,
         CommandKind::OcpLevel, 150.0, "-222 Data out of range"},
        {Request(post, "/api/supplies/0/output", true, R"({"value": "ON"})"), 200,
         CommandKind::Output, 1.0, ""},
        {Request(post, "/api/supplies/0/output", true, R"({"value": false})"), 200,
         CommandKind::Output, 0.0, ""},
        {Request(post, "/api/supplies/0/reset-protection"), 200, CommandKind::ResetProtection, 0.0,
         ""},
        {Request(post, "/api/supplies/0/read-errors"), 200, CommandKind::ReadErrors, 0.0, ""},
        // Refused with nothing sent.
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "abc"})"),
         400,
         {},
         0,
         "'abc' is not a number"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "nan"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "12 "})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": null})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": [1]})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, "12"), 400, {}, 0, "JSON"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "1)"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/output", true, R"({"value": 1})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/2/voltage", true, R"({"value": 1})"), 404, {}, 0, ""},
        {Request(post, "/api/supplies/-1/voltage", true, R"({"value": 1})"), 404, {}, 0, ""},
        {Request(post, "/api/supplies/0/self-destruct", true, "{}"), 404, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", false, R"({"value": 1})"), 403, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1})", ""),
         403,
         {},
         0,
         "Origin"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1})", "http://evil.example"),
         403,
         {},
         0,
         "Origin"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1})", "null"), 403, {}, 0, ""},
        {Request("PUT", "/api/supplies/0/voltage", true, R"({"value": 1})"), 405, {}, 0, ""},
        // A level is a decimal number: each of these is refused with nothing sent.
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "0x10"})"),
         400,
         {},
         0,
         "'0x10' is not a number"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "0x1p3"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "1e-320"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1e-320})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": ""})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": " 5"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "5V"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "inf"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "1e999"})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "."})"), 400, {}, 0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "1e"})"), 400, {}, 0, ""},
        // Decimal forms that are numbers: zero, signs, a point at either end, an exponent.
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "0"})"), 200,
         CommandKind::VoltageLevel, 0.0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "+.5"})"), 200,
         CommandKind::VoltageLevel, 0.5, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "-0.0"})"), 200,
         CommandKind::VoltageLevel, 0.0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "5."})"), 200,
         CommandKind::VoltageLevel, 5.0, ""},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "25E-1"})"), 200,
         CommandKind::VoltageLevel, 2.5, ""},
        // Nesting is looked at before parsing: at the limit, one past it.
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": [[[[[[[1]]]]]]]})"),
         400,
         {},
         0,
         "'[[[[[[[1]]]]]]]' is not a number"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": [[[[[[[[1]]]]]]]]})"),
         400,
         {},
         0,
         "nests more than 8"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": "[[[[[[[[[[1"})"),
         400,
         {},
         0,
         "'[[[[[[[[[[1' is not a number"},
        // An echoed value is cut.
        {Request(post, "/api/supplies/0/voltage", true,
                 R"({"value": ")" + std::string(1000, 'x') + R"("})"),
         400,
         {},
         0,
         "'" + std::string(40, 'x') + "...' is not a number"},
        {Request("GET", "/" + std::string(1000, 'y')), 404, {}, 0, std::string(63, 'y') + "..."},
        // Near misses of the token and of the Origin.
        {Request("GET", "/api/state", false, "", "", kHost), 403, {}, 0, "token"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1})",
                 "http://127.0.0.1:80800"),
         403,
         {},
         0,
         "Origin"},
        {Request(post, "/api/supplies/0/voltage", true, R"({"value": 1})", "http://127.0.0.1:808"),
         403,
         {},
         0,
         "Origin"},
        {Request("DELETE", "/"), 405, {}, 0, ""},
    };
    const AccessPolicy policy(kToken, http::AnsweredHosts("127.0.0.1", 8080, {}));
    for (const Row& row : rows) {
        RecordingBackend backend;
        const PanelRoutes routes(policy, backend);
        const HttpResponse response = routes.Handle(row.request);
        const std::string what = row.request.method + " " + row.request.path + " " +
                                 row.request.body + " -> " + response.body;
        EXPECT_EQ(response.status, row.status) << what;
        EXPECT_NE(response.body.find(row.body), std::string::npos) << what;
        ASSERT_EQ(backend.runs.size(), row.sent ? 1u : 0u) << what;
        if (row.sent) {
            EXPECT_EQ(backend.runs[0].second.kind, *row.sent) << what;
            EXPECT_EQ(backend.runs[0].second.value, row.value) << what;
        }
    }
}

// The Host values a panel answers for, and its token: the near misses of each.
TEST(PanelRoutes, HostsAndTokens) {
    const struct {
        std::string address;
        int port;
        std::vector<std::string> allowed, expected;
    } hosts[] = {
        {"127.0.0.1", 8080, {}, {"127.0.0.1:8080", "localhost:8080"}},
        {"::1", 8080, {}, {"[::1]:8080", "localhost:8080"}},
        {"192.168.1.5", 8080, {}, {"192.168.1.5:8080"}},
        // Port 80 is left out of Host and Origin by browsers.
        {"127.0.0.1", 80, {}, {"127.0.0.1:80", "localhost:80", "127.0.0.1", "localhost"}},
        // --allow-host: a name gets the port; one with a port keeps it.
        {"192.168.1.5",
         8080,
         {"bench.example", "[fd00::5]", "proxy.example:443"},
         {"192.168.1.5:8080", "bench.example:8080", "[fd00::5]:8080", "proxy.example:443"}},
    };
    for (const auto& row : hosts) {
        EXPECT_EQ(http::AnsweredHosts(row.address, row.port, row.allowed), row.expected)
            << row.address;
    }
    // Every address of the machine, loopback first; never the wildcard itself.
    const std::vector<std::string> any = http::AnsweredHosts("0.0.0.0", 8080, {});
    ASSERT_FALSE(any.empty());
    EXPECT_EQ(any.front().rfind("127.", 0), 0u) << any.front();
    EXPECT_EQ(std::count(any.begin(), any.end(), "0.0.0.0:8080"), 0);
    EXPECT_EQ(std::count(any.begin(), any.end(), "localhost:8080"), 1);

    const std::string token = RandomToken();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(token, RandomToken());
}

// A panel on port 80 and each near miss of what it compares: the token with
// a character more or less, the Origin of another port that starts the same,
// a Host it does not answer for, and one named with --allow-host.
TEST(PanelRoutes, NearMisses) {
    const AccessPolicy policy(kToken, http::AnsweredHosts("127.0.0.1", 80, {"bench.example"}));
    const std::string token = kToken;
    const struct {
        std::string host, origin, token;
        int status;
    } rows[] = {
        {"127.0.0.1", "http://127.0.0.1", token, 200},
        {"127.0.0.1", "http://127.0.0.1", token + "0", 403},
        {"127.0.0.1", "http://127.0.0.1", token.substr(1), 403},
        {"127.0.0.1", "http://127.0.0.1", "", 403},
        {"127.0.0.1", "http://127.0.0.1:8080", token, 403},
        {"127.0.0.1", "http://127.0.0.1.evil.example", token, 403},
        {"127.0.0.1", "http://127.0.0", token, 403},
        {"localhost", "http://LOCALHOST", token, 200},
        {"bench.example", "http://bench.example", token, 200},
        {"bench.example:80", "http://bench.example:80", token, 200},
        {"bench.example:8080", "http://bench.example:8080", token, 403},
        {"evil.example", "http://evil.example", token, 403},
        {"", "http://", token, 403},
    };
    for (const auto& row : rows) {
        RecordingBackend backend;
        HttpRequest request{"POST",
                            "/api/supplies/0/voltage",
                            {{"token", row.token}},
                            {{"Host", row.host}, {"Origin", row.origin}},
                            R"({"value": 1})"};
        const HttpResponse response = PanelRoutes(policy, backend).Handle(request);
        EXPECT_EQ(response.status, row.status) << row.host << " " << row.origin << " " << row.token;
        EXPECT_EQ(backend.runs.size(), row.status == 200 ? 1u : 0u);
    }
}

}  // namespace
}  // namespace qmdc::cli::panel
