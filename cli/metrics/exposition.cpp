#include "metrics/exposition.h"

#include <cmath>

#include "number_text.h"

namespace qmdc::cli::metrics {
namespace {

constexpr const char* kTypeNames[] = {"gauge", "counter"};

std::string Escape(const std::string& text, bool quotes) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '"' && quotes) {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out;
}

std::string LabelText(const Labels& labels) {
    if (labels.empty()) return "";
    std::string text = "{";
    for (size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) text += ',';
        text += labels[i].first + "=\"" + EscapeLabelValue(labels[i].second) + '"';
    }
    return text + '}';
}

// OpenMetrics names a counter family without its "_total"; its samples keep it.
std::string FamilyName(const std::string& name, MetricType type, ExpositionFormat format) {
    const std::string suffix = "_total";
    if (format == ExpositionFormat::OpenMetrics && type == MetricType::Counter &&
        name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return name.substr(0, name.size() - suffix.size());
    }
    return name;
}

}  // namespace

void MetricSet::Add(const std::string& name, const std::string& help, MetricType type,
                    const Labels& labels, double value) {
    const auto [at, added] = byName_.emplace(name, families_.size());
    if (added) families_.push_back({name, help, type, {}, {}});
    Family& family = families_[at->second];
    std::string text = LabelText(labels);
    // Escaping is one to one, so equal texts are equal label sets.
    if (!family.seen.insert(text).second) return;
    family.samples.push_back({std::move(text), value});
}

std::string MetricSet::Write(ExpositionFormat format) const {
    std::string text;
    for (const Family& family : families_) {
        const std::string name = FamilyName(family.name, family.type, format);
        text += "# HELP " + name + ' ' + EscapeHelp(family.help, format) + '\n';
        text += "# TYPE " + name + ' ' + kTypeNames[static_cast<int>(family.type)] + '\n';
        for (const Sample& sample : family.samples) {
            text += family.name;
            text += sample.labels;
            text += ' ';
            text += ValueText(sample.value);
            text += '\n';
        }
    }
    if (format == ExpositionFormat::OpenMetrics) text += "# EOF\n";
    return text;
}

std::string EscapeLabelValue(const std::string& value) {
    return Escape(value, true);
}

std::string EscapeHelp(const std::string& text, ExpositionFormat format) {
    return Escape(text, format == ExpositionFormat::OpenMetrics);
}

std::string ValueText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    return RealText(value);
}

ExpositionFormat NegotiateFormat(const std::string& accept) {
    return accept.find("application/openmetrics-text") != std::string::npos
               ? ExpositionFormat::OpenMetrics
               : ExpositionFormat::Text;
}

const char* ContentType(ExpositionFormat format) {
    return format == ExpositionFormat::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

}  // namespace qmdc::cli::metrics
