#include "metrics/supply_metrics.h"

#ifndef QMDC_VERSION
#define QMDC_VERSION "unknown"
#endif

namespace qmdc::cli::metrics {

const char* const kRegulationModes[4] = {"CV", "CC", "UR", "off"};

namespace {

using Reading = double (*)(const SupplyReadings&);

struct ReadingFamily {
    const char* name;
    const char* help;
    Reading value;
};

// The readings of a supply that is up, one gauge each.
const ReadingFamily kReadingFamilies[] = {
    {"qmdc_measured_voltage_volts", "Output voltage as measured.",
     [](const SupplyReadings& r) { return r.volts; }},
    {"qmdc_measured_current_amperes", "Output current as measured.",
     [](const SupplyReadings& r) { return r.amps; }},
    {"qmdc_measured_power_watts", "Output power, measured voltage times measured current.",
     [](const SupplyReadings& r) { return r.watts; }},
    {"qmdc_voltage_level_volts", "Voltage the output regulates to in constant voltage.",
     [](const SupplyReadings& r) { return r.voltageLevel; }},
    {"qmdc_current_level_amperes", "Current the output regulates to in constant current.",
     [](const SupplyReadings& r) { return r.currentLevel; }},
    {"qmdc_ovp_level_volts", "Over-voltage protection level: the output trips above it.",
     [](const SupplyReadings& r) { return r.ovpLevel; }},
    {"qmdc_ocp_level_amperes", "Over-current protection level: the output trips above it.",
     [](const SupplyReadings& r) { return r.ocpLevel; }},
    {"qmdc_rated_voltage_volts", "Voltage rating of the model.",
     [](const SupplyReadings& r) { return r.ratedVolts; }},
    {"qmdc_rated_current_amperes", "Current rating of the model.",
     [](const SupplyReadings& r) { return r.ratedAmps; }},
    {"qmdc_output_enabled", "1 when the output is switched on.",
     [](const SupplyReadings& r) { return r.outputEnabled ? 1.0 : 0.0; }},
};

struct Protection {
    const char* label;  // the series' protection label
    const char* code;   // SupplyReadings::protection when it tripped
};
const Protection kProtections[] = {{"ovp", "OV"}, {"ocp", "OC"}};

Labels With(Labels labels, const char* name, const std::string& value) {
    labels.emplace_back(name, value);
    return labels;
}

void AddReadings(MetricSet& set, const Labels& labels, const SupplyReadings& r) {
    for (const ReadingFamily& family : kReadingFamilies) {
        set.Add(family.name, family.help, MetricType::Gauge, labels, family.value(r));
    }
    if (r.ratedWatts) {
        set.Add("qmdc_rated_power_watts", "Power rating of the model.", MetricType::Gauge, labels,
                *r.ratedWatts);
    }
    for (const char* mode : kRegulationModes) {
        set.Add("qmdc_regulation_mode",
                "1 for the mode the output is in (CV, CC, UR; off: not regulating or tripped), 0 "
                "for the others.",
                MetricType::Gauge, With(labels, "mode", mode), r.mode == mode ? 1.0 : 0.0);
    }
    for (const Protection& protection : kProtections) {
        set.Add("qmdc_protection_tripped", "1 when the protection switched the output off.",
                MetricType::Gauge, With(labels, "protection", protection.label),
                r.protection == protection.code ? 1.0 : 0.0);
    }
}

}  // namespace

void AddSupplyMetrics(MetricSet& set, const std::vector<SupplySnapshot>& supplies) {
    for (const SupplySnapshot& s : supplies) {
        const Labels labels = {{"supply", s.supply}, {"model", s.model}, {"serial", s.serial}};
        set.Add("qmdc_up", "1 when the last reading of the supply succeeded, else 0.",
                MetricType::Gauge, labels, s.up ? 1.0 : 0.0);
        if (s.lastGoodAgeSeconds) {
            set.Add("qmdc_last_reading_age_seconds", "Time since the last good reading.",
                    MetricType::Gauge, labels, *s.lastGoodAgeSeconds);
        }
        if (s.readingSeconds) {
            set.Add("qmdc_reading_duration_seconds", "How long the last reading took.",
                    MetricType::Gauge, labels, *s.readingSeconds);
        }
        if (s.counts) {
            set.Add("qmdc_readings_total", "Readings attempted.", MetricType::Counter, labels,
                    s.counts->readings);
            set.Add("qmdc_reading_failures_total", "Readings that failed.", MetricType::Counter,
                    labels, s.counts->failures);
            set.Add("qmdc_reconnects_total", "Sessions opened again after the supply was lost.",
                    MetricType::Counter, labels, s.counts->reconnects);
        }
        if (s.up && s.readings) AddReadings(set, labels, *s.readings);
    }
}

void AddBuildInfo(MetricSet& set) {
    set.Add("qmdc_exporter_build_info", "The qmdc version serving these metrics; always 1.",
            MetricType::Gauge, {{"version", QMDC_VERSION}}, 1.0);
}

}  // namespace qmdc::cli::metrics

namespace qmdc::cli::metrics {

MetricsPage RenderMetrics(const std::vector<SupplySnapshot>& supplies, const std::string& accept) {
    MetricSet set;
    AddBuildInfo(set);
    AddSupplyMetrics(set, supplies);
    const ExpositionFormat format = NegotiateFormat(accept);
    return {ContentType(format), set.Write(format)};
}

}  // namespace qmdc::cli::metrics
