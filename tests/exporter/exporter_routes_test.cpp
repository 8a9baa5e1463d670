// What the exporter answers and refuses, without a socket; the metric
// families of a supply that answers and of one that does not; the panel's
// state turned into the same; the token and resources files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "exporter/exporter_routes.h"
#include "failure.h"
#include "http/listen_address.h"
#include "metrics/panel_metrics.h"
#include "panel/access_policy.h"

namespace qmdc::cli::exporter {
namespace {

using metrics::SupplySnapshot;

SupplySnapshot Up(const std::string& name) {
    SupplySnapshot s;
    s.supply = name;
    s.model = "Rack 30-70 QM";
    s.serial = "SN0001";
    s.up = true;
    metrics::SupplyReadings r;
    r.volts = 12, r.amps = 1.2, r.watts = 14.4, r.voltageLevel = 12, r.currentLevel = 2;
    r.ovpLevel = 33, r.ocpLevel = 0.5, r.ratedVolts = 30, r.ratedAmps = 70, r.ratedWatts = 1500;
    r.outputEnabled = false, r.mode = "off", r.protection = "OC";
    s.readings = r;
    s.lastGoodAgeSeconds = 0.25;
    s.readingSeconds = 0.004;
    s.counts = metrics::SupplyCounts{10, 1, 1};
    return s;
}

SupplySnapshot Down(const std::string& name) {
    SupplySnapshot s = Up(name);
    s.up = false;
    // It keeps the readings of before, as a source may: they must not be shown.
    return s;
}

HttpRequest Get(const std::string& path, const std::string& host = "127.0.0.1:9923") {
    HttpRequest request;
    request.method = "GET";
    request.path = path;
    request.headers.emplace("Host", host);
    return request;
}

ExporterRoutes Routes(const std::string& token = "") {
    return ExporterRoutes({token, http::AnsweredHosts("127.0.0.1", 9923, {})}, [] {
        return std::vector<SupplySnapshot>{Up("A"), Down("B")};
    });
}

// Which check each row guards: the hosts answered (both names of loopback, a
// port one digit longer, none, a rebinding name), the methods (HEAD with GET,
// a change refused), the paths (the index, a near miss of /metrics), and the
// bearer token (missing, other scheme, any letter case of the scheme, one
// character short or long, an empty one, blanks around it).
TEST(ExporterRoutes, AnswersOnlyWhatItShould) {
    const struct {
        const char* method;
        const char* path;
        const char* host;
        const char* token;          // the exporter's; "" none
        const char* authorization;  // sent; nullptr none
        int status;
    } rows[] = {
        {"GET", "/metrics", "127.0.0.1:9923", "", nullptr, 200},
        {"GET", "/metrics", "localhost:9923", "", nullptr, 200},
        {"GET", "/metrics", "LOCALHOST:9923", "", nullptr, 200},
        {"GET", "/metrics", "127.0.0.1:99230", "", nullptr, 403},
        {"GET", "/metrics", "", "", nullptr, 403},
        {"GET", "/metrics", "attacker.example:9923", "", nullptr, 403},
        {"HEAD", "/metrics", "127.0.0.1:9923", "", nullptr, 200},
        {"POST", "/metrics", "127.0.0.1:9923", "", nullptr, 405},
        {"DELETE", "/metrics", "127.0.0.1:9923", "", nullptr, 405},
        {"GET", "/", "127.0.0.1:9923", "", nullptr, 200},
        {"GET", "/metrics/", "127.0.0.1:9923", "", nullptr, 404},
        {"GET", "/metric", "127.0.0.1:9923", "", nullptr, 404},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", nullptr, 401},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Basic s3cret", 401},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Bearer s3cret", 200},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "bearer s3cret", 200},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Bearer  s3cret ", 200},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Bearer s3cre", 401},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Bearer s3crett", 401},
        {"GET", "/metrics", "127.0.0.1:9923", "s3cret", "Bearer ", 401},
        {"GET", "/metrics", "attacker.example:9923", "s3cret", "Bearer s3cret", 403},
    };
    for (const auto& row : rows) {
        HttpRequest request = Get(row.path, row.host);
        request.method = row.method;
        if (row.authorization) request.headers.emplace("authorization", row.authorization);
        const HttpResponse response = Routes(row.token).Handle(request);
        EXPECT_EQ(response.status, row.status)
            << row.method << " " << row.path << " Host " << row.host << " token " << row.token
            << " Authorization " << (row.authorization ? row.authorization : "-");
        if (row.status == 401) {
            EXPECT_EQ(response.headers.back().first, "WWW-Authenticate");
        }
    }
}

TEST(ExporterRoutes, ShowsReadingsOnlyOfSuppliesThatAnswer) {
    const HttpResponse response = Routes().Handle(Get("/metrics"));
    ASSERT_EQ(response.status, 200);
    EXPECT_EQ(response.contentType, "text/plain; version=0.0.4; charset=utf-8");
    const std::string& body = response.body;
    const std::string a = "{supply=\"A\",model=\"Rack 30-70 QM\",serial=\"SN0001\"";
    const std::string b = "{supply=\"B\",model=\"Rack 30-70 QM\",serial=\"SN0001\"";
    for (const std::string& line :
         {"qmdc_up" + a + "} 1", "qmdc_up" + b + "} 0",
          "qmdc_measured_current_amperes" + a + "} 1.2", "qmdc_rated_power_watts" + a + "} 1500",
          "qmdc_output_enabled" + a + "} 0", "qmdc_regulation_mode" + a + ",mode=\"off\"} 1",
          "qmdc_regulation_mode" + a + ",mode=\"CV\"} 0",
          "qmdc_protection_tripped" + a + ",protection=\"ocp\"} 1",
          "qmdc_protection_tripped" + a + ",protection=\"ovp\"} 0",
          "qmdc_reading_failures_total" + b + "} 1", "qmdc_last_reading_age_seconds" + b + "} 0.25",
          std::string("qmdc_exporter_build_info{version=\"") + QMDC_VERSION + "\"} 1"}) {
        EXPECT_NE(body.find(line + "\n"), std::string::npos) << line;
    }
    // B's health and counters, never its readings.
    for (const char* family :
         {"qmdc_measured_voltage_volts", "qmdc_voltage_level_volts", "qmdc_output_enabled",
          "qmdc_regulation_mode", "qmdc_protection_tripped", "qmdc_rated_voltage_volts"}) {
        EXPECT_EQ(body.find(family + b), std::string::npos) << family;
    }
    HttpRequest open = Get("/metrics");
    open.headers.emplace("Accept", "application/openmetrics-text; version=1.0.0");
    const HttpResponse openMetrics = Routes().Handle(open);
    EXPECT_EQ(openMetrics.body.substr(openMetrics.body.size() - 6), "# EOF\n");
}

TEST(ExporterRoutes, EscapesTheNamesOfSupplies) {
    const ExporterRoutes routes(
        {"", {}}, [] { return std::vector<SupplySnapshot>{Down("PSU \"1\"\\bench\nleft")}; });
    const std::string body = routes.Handle(Get("/metrics", "any.host")).body;
    EXPECT_NE(body.find("qmdc_up{supply=\"PSU \\\"1\\\"\\\\bench\\nleft\""), std::string::npos)
        << body;
}

// A panel state with a supply that answers, one that was lost (its last
// reading still in the state), one never reached, and entries that are not
// what they should be: no exception, defaults where a field is missing.
TEST(PanelSnapshots, TurnsThePanelStateIntoSnapshots) {
    const nlohmann::json state = nlohmann::json::parse(R"({"now": 100.0, "supplies": [
      {"name": "PSU1", "connected": true,
       "identity": {"model": "Bench 50-20 QM", "serial": "SN7", "max_volts": 50, "max_amps": 20},
       "mode": "CV", "protection": "none",
       "levels": {"voltage": 5, "current": 1, "ovp": 55, "ocp": 22}, "output": true,
       "p": [[-900, 4, 0.4], [-250, 5, 0.5]]},
      {"name": "PSU2", "connected": false, "identity": {"model": "X"}, "p": [[-5000, 9, 9]]},
      {"name": "PSU3", "connected": true, "problem": "", "p": []},
      {"name": 5, "connected": "yes", "p": [[1]], "identity": 7},
      42
    ]})");
    const std::vector<SupplySnapshot> s = metrics::PanelSnapshots(state);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_TRUE(s[0].up);
    ASSERT_TRUE(s[0].readings);
    EXPECT_EQ(s[0].serial, "SN7");
    EXPECT_EQ(s[0].readings->volts, 5);
    EXPECT_EQ(s[0].readings->watts, 2.5);
    EXPECT_EQ(s[0].readings->ratedVolts, 50);
    EXPECT_EQ(s[0].readings->ocpLevel, 22);
    EXPECT_EQ(s[0].readings->mode, "CV");
    EXPECT_TRUE(s[0].readings->outputEnabled);
    EXPECT_FALSE(s[0].readings->ratedWatts);
    EXPECT_EQ(*s[0].lastGoodAgeSeconds, 0.25);
    EXPECT_FALSE(s[0].counts);
    EXPECT_FALSE(s[1].up);  // lost: its old points stay in the chart, not in the metrics
    EXPECT_FALSE(s[1].readings);
    EXPECT_EQ(s[1].model, "X");
    EXPECT_FALSE(s[2].up);  // connected, nothing read yet
    EXPECT_EQ(s[3].supply, "");
    EXPECT_FALSE(s[3].up);
    EXPECT_TRUE(metrics::PanelSnapshots(nlohmann::json::array()).empty());
    EXPECT_TRUE(metrics::PanelSnapshots({{"supplies", "none"}}).empty());
}

std::string WriteFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// One line; blanks and a line end around it; a second line ignored; empty,
// blanks only, missing, and one byte beyond the size a token file may have.
TEST(ExporterFiles, ReadsTheTokenFile) {
    EXPECT_EQ(ReadTokenFile(WriteFile("t1", "abc")), "abc");
    EXPECT_EQ(ReadTokenFile(WriteFile("t2", "  abc \r\n")), "abc");
    EXPECT_EQ(ReadTokenFile(WriteFile("t3", "abc\nsecond")), "abc");
    EXPECT_EQ(ReadTokenFile(WriteFile("t4", std::string(4096, 'x'))), std::string(4096, 'x'));
    for (const std::string& content :
         {std::string(""), std::string(" \n"), std::string(4097, 'x'), std::string("\nabc")}) {
        EXPECT_THROW(ReadTokenFile(WriteFile("t5", content)), Failure) << content.size();
    }
    EXPECT_THROW(ReadTokenFile(::testing::TempDir() + "no-such-token"), Failure);
}

TEST(ExporterFiles, ReadsTheResourcesFile) {
    EXPECT_EQ(ReadResourcesFile(WriteFile("r1", "# supplies\nPSU1\n\n  PSU 2 \r\n#PSU3\nlast")),
              (std::vector<std::string>{"PSU1", "PSU 2", "last"}));
    EXPECT_TRUE(ReadResourcesFile(WriteFile("r2", "")).empty());
    EXPECT_THROW(ReadResourcesFile(WriteFile("r3", std::string(1024 * 1024 + 1, '#'))), Failure);
    EXPECT_THROW(ReadResourcesFile(::testing::TempDir() + "no-such-list"), Failure);
}

}  // namespace
}  // namespace qmdc::cli::exporter
