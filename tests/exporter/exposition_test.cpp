// The text exposition format as written by the metrics module: escaping,
// numbers, each family once, no series twice, and the OpenMetrics variant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "metrics/exposition.h"

namespace qmdc::cli::metrics {
namespace {

// Which escape each row guards: each of the three escaped characters alone,
// the quote left alone in 0.0.4 HELP, a backslash before an n (not a line
// break), characters that look special but are not (tab, CR, UTF-8), empty.
TEST(Exposition, EscapesLabelValuesAndHelp) {
    struct Row {
        const char* text;
        const char* label;     // label value, both formats
        const char* help;      // HELP, 0.0.4
        const char* helpOpen;  // HELP, OpenMetrics
    };
    const Row rows[] = {
        {"", "", "", ""},
        {"PSU1", "PSU1", "PSU1", "PSU1"},
        {"a\\b", "a\\\\b", "a\\\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\"", "say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines", "two\\nlines", "two\\nlines"},
        {"\\n", "\\\\n", "\\\\n", "\\\\n"},
        {"\\\"\n", "\\\\\\\"\\n", "\\\\\"\\n", "\\\\\\\"\\n"},
        {"tab\tcr\r", "tab\tcr\r", "tab\tcr\r", "tab\tcr\r"},
        {"5 \xC2\xB5"
         "A",
         "5 \xC2\xB5"
         "A",
         "5 \xC2\xB5"
         "A",
         "5 \xC2\xB5"
         "A"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EscapeLabelValue(row.text), row.label) << row.text;
        EXPECT_EQ(EscapeHelp(row.text, ExpositionFormat::Text), row.help) << row.text;
        EXPECT_EQ(EscapeHelp(row.text, ExpositionFormat::OpenMetrics), row.helpOpen) << row.text;
    }
}

// Go's float texts: the three specials, integers of either sign without a
// point, zero of either sign, and the shortest round trip otherwise.
TEST(Exposition, WritesNumbersAsPrometheusReadsThem) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } rows[] = {
        {0.0, "0"},          {-0.0, "-0"},           {12.0, "12"},
        {-3.0, "-3"},        {1500000.0, "1500000"}, {0.1, "0.1"},
        {2.5e-7, "2.5e-07"}, {1e21, "1e+21"},        {std::nan(""), "NaN"},
        {inf, "+Inf"},       {-inf, "-Inf"},         {12.000000000000002, "12.000000000000002"},
    };
    for (const auto& row : rows) EXPECT_EQ(ValueText(row.value), row.text) << row.text;
}

TEST(Exposition, PutsEachFamilyOnceWithItsSamplesTogether) {
    MetricSet set;
    set.Add("qmdc_up", "Up.", MetricType::Gauge, {{"supply", "a"}}, 1);
    set.Add("qmdc_readings_total", "Readings.", MetricType::Counter, {{"supply", "a"}}, 7);
    set.Add("qmdc_up", "ignored: the first HELP stays", MetricType::Gauge, {{"supply", "b"}}, 0);
    set.Add("qmdc_up", "Up.", MetricType::Gauge, {{"supply", "a"}}, 0);  // a second series a
    set.Add("qmdc_build_info", "Build.", MetricType::Gauge, {}, 1);
    EXPECT_EQ(set.Write(ExpositionFormat::Text),
              "# HELP qmdc_up Up.\n"
              "# TYPE qmdc_up gauge\n"
              "qmdc_up{supply=\"a\"} 1\n"
              "qmdc_up{supply=\"b\"} 0\n"
              "# HELP qmdc_readings_total Readings.\n"
              "# TYPE qmdc_readings_total counter\n"
              "qmdc_readings_total{supply=\"a\"} 7\n"
              "# HELP qmdc_build_info Build.\n"
              "# TYPE qmdc_build_info gauge\n"
              "qmdc_build_info 1\n");
    EXPECT_EQ(set.Write(ExpositionFormat::OpenMetrics),
              "# HELP qmdc_up Up.\n"
              "# TYPE qmdc_up gauge\n"
              "qmdc_up{supply=\"a\"} 1\n"
              "qmdc_up{supply=\"b\"} 0\n"
              "# HELP qmdc_readings Readings.\n"
              "# TYPE qmdc_readings counter\n"
              "qmdc_readings_total{supply=\"a\"} 7\n"
              "# HELP qmdc_build_info Build.\n"
              "# TYPE qmdc_build_info gauge\n"
              "qmdc_build_info 1\n"
              "# EOF\n");
    EXPECT_EQ(MetricSet().Write(ExpositionFormat::Text), "");
    EXPECT_EQ(MetricSet().Write(ExpositionFormat::OpenMetrics), "# EOF\n");
}

// The same label names with other values, or in another order, are other series.
TEST(Exposition, KeepsSeriesThatDifferInAnyLabel) {
    MetricSet set;
    set.Add("m", "M.", MetricType::Gauge, {{"a", "1"}, {"b", "2"}}, 1);
    set.Add("m", "M.", MetricType::Gauge, {{"a", "1"}, {"b", "3"}}, 2);
    set.Add("m", "M.", MetricType::Gauge, {{"a", "1"}, {"b", "2"}}, 3);
    set.Add("m", "M.", MetricType::Gauge, {{"a", "1"}}, 4);
    set.Add("m", "M.", MetricType::Gauge, {{"a", "x\"y"}}, 5);
    EXPECT_EQ(set.Write(ExpositionFormat::Text),
              "# HELP m M.\n# TYPE m gauge\n"
              "m{a=\"1\",b=\"2\"} 1\nm{a=\"1\",b=\"3\"} 2\nm{a=\"1\"} 4\nm{a=\"x\\\"y\"} 5\n");
}

// What Prometheus 2.42 sends, what curl sends, nothing, and near misses.
TEST(Exposition, NegotiatesOpenMetricsOnlyWhenAsked) {
    const struct {
        const char* accept;
        ExpositionFormat format;
    } rows[] = {
        {"", ExpositionFormat::Text},
        {"*/*", ExpositionFormat::Text},
        {"text/plain;version=0.0.4", ExpositionFormat::Text},
        {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;"
         "q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
         ExpositionFormat::OpenMetrics},
        {"application/openmetrics-text", ExpositionFormat::OpenMetrics},
        {"application/openmetrics", ExpositionFormat::Text},
    };
    for (const auto& row : rows) EXPECT_EQ(NegotiateFormat(row.accept), row.format) << row.accept;
    EXPECT_STREQ(ContentType(ExpositionFormat::Text), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_STREQ(ContentType(ExpositionFormat::OpenMetrics),
                 "application/openmetrics-text; version=1.0.0; charset=utf-8");
}

}  // namespace
}  // namespace qmdc::cli::metrics
