// Metrics in the Prometheus text exposition format (version 0.0.4) and in
// OpenMetrics 1.0, written here: there is no client library to lean on. A
// MetricSet collects samples by family; Write() puts each family's HELP and
// TYPE once, its samples together, and a label set only once per family.
#pragma once

#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qmdc::cli::metrics {

enum class MetricType { Gauge, Counter };

enum class ExpositionFormat { Text, OpenMetrics };

using Labels = std::vector<std::pair<std::string, std::string>>;

class MetricSet {
  public:
    // A sample of the family name (its HELP and TYPE are those of the first
    // Add of that name). A second sample with the same labels is dropped: a
    // scrape with two of one series is refused whole by the server.
    void Add(const std::string& name, const std::string& help, MetricType type,
             const Labels& labels, double value);

    std::string Write(ExpositionFormat format) const;

  private:
    struct Sample {
        std::string labels;  // as written: {name="value",...}, "" for none
        double value;
    };
    struct Family {
        std::string name;
        std::string help;
        MetricType type;
        std::vector<Sample> samples;
        std::unordered_set<std::string> seen;  // the label texts of samples
    };
    std::vector<Family> families_;          // in the order first added
    std::map<std::string, size_t> byName_;  // index in families_
};

// "\\" for a backslash, "\"" for a quote, "\n" for a line feed.
std::string EscapeLabelValue(const std::string& value);
// The same without the quote (0.0.4 leaves quotes in HELP as they are);
// OpenMetrics escapes HELP as a label value.
std::string EscapeHelp(const std::string& text, ExpositionFormat format);
// Go's float texts: "NaN", "+Inf", "-Inf", integers without a point
// ("12", "-3"), else the shortest text that reads back as the same double.
std::string ValueText(double value);

// OpenMetrics when the scraper's Accept header asks for it, else the text format.
ExpositionFormat NegotiateFormat(const std::string& accept);
const char* ContentType(ExpositionFormat format);

}  // namespace qmdc::cli::metrics
