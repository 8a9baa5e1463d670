#include "log/log_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "log/time_axis.h"
#include "number_text.h"

namespace qmdc::cli {
namespace {

constexpr int kWidth = 1000, kHeight = 600;
constexpr int kMaxTimeLabels = 7;        // "00:00:00" labels well apart on the narrowest plot
constexpr double kCharacterWidth = 7.0;  // pixels of a legend letter, roughly

constexpr const char* kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

// gnuplot reads "NaN" as a point with no value: the line breaks there.
std::string Number(double value) {
    return NumberText(value, "NaN");
}

std::string Fraction(double value) {
    return FixedText(value, 3);
}

double Seconds(WallTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// Hue (degrees), saturation and value to "#rrggbb".
std::string HsvColour(double hue, double saturation, double value) {
    const double c = value * saturation;
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = c * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
    const double rgb[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
    const double* part = rgb[static_cast<int>(h) % 6];
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x",
                  static_cast<int>(std::lround((part[0] + value - c) * 255)),
                  static_cast<int>(std::lround((part[1] + value - c) * 255)),
                  static_cast<int>(std::lround((part[2] + value - c) * 255)));
    return text;
}

struct Extent {
    double first = INFINITY, last = -INFINITY;
    double voltsMax = 0.0, ampsMax = 0.0;
    long long span = 1;  // the most readings in a bucket of any supply
};

}  // namespace

std::string SupplyColour(size_t i) {
    constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];
    if (i < kPaletteSize) return kPalette[i];
    // The golden angle apart, and three shades in turn, so that neighbours differ.
    const double shades[3][2] = {{0.85, 0.80}, {0.60, 0.55}, {0.45, 0.95}};
    const size_t k = i - kPaletteSize;
    return HsvColour(double(k) * 137.508, shades[k % 3][0], shades[k % 3][1]);
}

LogPlot::LogPlot(std::string path, const std::vector<std::string>& supplies)
    : file_(std::move(path), kWidth, kHeight) {
    for (const std::string& name : supplies) {
        if (index_.emplace(name, supplies_.size()).second) {
            supplies_.push_back({name, BoundedSeries(kSeriesLimit)});
        }
    }
}

void LogPlot::Add(const LogRow& row) {
    auto found = index_.find(row.supply);
    if (found == index_.end()) {
        found = index_.emplace(row.supply, supplies_.size()).first;
        supplies_.push_back({row.supply, BoundedSeries(kSeriesLimit)});
    }
    const double volts = row.sample ? row.sample->reading.volts : NAN;
    const double amps = row.sample ? row.sample->reading.amps : NAN;
    supplies_[found->second].series.Add(Seconds(row.time), volts, amps);
}

void LogPlot::Write(const std::string& title) const {
    file_.Draw(Script(title));
}

std::string LogPlot::Script(const std::string& title) const {
    Extent extent;
    size_t longestName = 0;
    std::string script;
    for (size_t i = 0; i < supplies_.size(); ++i) {
        const BoundedSeries& series = supplies_[i].series;
        longestName = std::max(longestName, supplies_[i].name.size());
        extent.span = std::max(extent.span, series.span());
        // A bucket is drawn as its least value at its first reading and its
        // greatest at its last: a steady level stays a flat line.
        script += "$s" + std::to_string(i) + " << EOD\n";
        for (const SeriesBucket& b : series.buckets()) {
            extent.first = std::min(extent.first, b.firstSeconds);
            extent.last = std::max(extent.last, b.lastSeconds);
            if (b.empty()) {
                script += Number(b.firstSeconds) + " NaN NaN\n";
                continue;
            }
            extent.voltsMax = std::max(extent.voltsMax, b.voltsMax);
            extent.ampsMax = std::max(extent.ampsMax, b.ampsMax);
            script +=
                Number(b.firstSeconds) + " " + Number(b.voltsMin) + " " + Number(b.ampsMin) + "\n";
            if (b.readings > 1) {
                script += Number(b.lastSeconds) + " " + Number(b.voltsMax) + " " +
                          Number(b.ampsMax) + "\n";
            }
        }
        script += "EOD\n";
    }
    if (extent.first > extent.last) extent.first = extent.last = 0.0;  // nothing was read
    const TimeAxis axis = ChooseTimeAxis(extent.first, extent.last, kMaxTimeLabels);

    const bool legend = supplies_.size() <= kLegendLimit;
    // The legend sits right of the plots, as wide as the longest name.
    const double right =
        legend
            ? std::clamp(1.0 - (double(longestName) * kCharacterWidth + 70.0) / kWidth, 0.5, 0.95)
            : 0.95;
    std::vector<std::string> notes;
    if (!legend) {
        notes.push_back(std::to_string(supplies_.size()) +
                        " supplies, one colour each: legend left out past " +
                        std::to_string(kLegendLimit));
    }
    if (extent.span > 1) {
        notes.push_back("each line spans the least and greatest of every " +
                        std::to_string(extent.span) + " readings");
    }

    script += "set multiplot title " + GnuplotQuoted(title) + " noenhanced\n";
    script += "set lmargin at screen 0.08\nset rmargin at screen " + Fraction(right) + "\n";
    script += "set xdata time\nset timefmt '%s'\nset grid\nunset key\n";
    script += "set xrange [" + Number(axis.from) + ":" + Number(axis.to) + "]\n";
    script += "set xtics " + Number(axis.firstLabel) + ", " + Number(axis.step) + "\n";
    std::string notesText;
    for (const std::string& note : notes) notesText += (notesText.empty() ? "" : "; ") + note;
    if (!notesText.empty()) {
        script += "set label 99 " + GnuplotQuoted(notesText) +
                  " at screen 0.01, screen 0.02 left noenhanced font ',9'\n";
    }
    const std::string width = legend ? "2" : "1";
    struct Panel {
        const char* label;
        int column;
        double top, bottom, max;
    };
    const Panel panels[] = {
        {"Voltage (V)", 2, 0.90, 0.56, extent.voltsMax},
        {"Current (A)", 3, 0.50, 0.16, extent.ampsMax},
    };
    for (const Panel& panel : panels) {
        const bool upper = panel.column == 2;
        script += "set tmargin at screen " + Fraction(panel.top) + "\nset bmargin at screen " +
                  Fraction(panel.bottom) + "\n";
        script += "set ylabel " + GnuplotQuoted(panel.label) + "\n";
        // A tenth of head room, so that a level held for long is not drawn on the frame.
        script += "set yrange [0:" + Number(panel.max > 0.0 ? panel.max * 1.1 : 1.0) + "]\n";
        if (upper) {
            script += "set format x ''\nunset xlabel\n";
        } else {
            script += "set format x \"" + std::string(axis.format) +
                      "\"\nset xlabel 'Time (UTC)'\nunset label 99\n";
        }
        if (legend && upper) {
            script += "set key at screen " + Fraction(right + 0.01) +
                      ", screen 0.90 left top Left reverse noenhanced samplen 2\n";
        } else {
            script += "unset key\n";
        }
        std::string plots;
        for (size_t i = 0; i < supplies_.size(); ++i) {
            plots += std::string(plots.empty() ? "plot " : ", ") + "$s" + std::to_string(i) +
                     " using 1:" + std::to_string(panel.column) + " with lines lw " + width +
                     " lc rgb '" + SupplyColour(i) + "' " +
                     (legend && upper ? "title " + GnuplotQuoted(supplies_[i].name) : "notitle");
        }
        script += plots + "\n";
    }
    return script + "unset multiplot\n";
}

}  // namespace qmdc::cli
