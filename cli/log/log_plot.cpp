#include "log/log_plot.h"

#include <cmath>
#include <cstdio>

#include "number_text.h"

namespace qmdc::cli {
namespace {

// gnuplot reads "NaN" as a point with no value.
std::string Number(double value) {
    return NumberText(value, "NaN");
}

}  // namespace

void LogPlot::Add(const LogRow& row) {
    const double at = std::chrono::duration<double>(row.time.time_since_epoch()).count();
    const double volts = row.sample ? row.sample->reading.volts : NAN;
    const double amps = row.sample ? row.sample->reading.amps : NAN;
    supplies_[row.supply].push_back({at, volts, amps});
}

void LogPlot::Write(const std::string& title) const {
    std::string script = "set title " + GnuplotQuoted(title) + " noenhanced\n";
    script +=
        "set xdata time\nset timefmt '%s'\nset format x '%H:%M:%S'\nset xlabel 'Time (UTC)'\n"
        "set autoscale xfix\n"
        "set ylabel 'Voltage (V)'\nset y2label 'Current (A)'\nset ytics nomirror\n"
        "set y2tics\nset grid\nset key below\n";
    // A tenth of head room, so that a level held for long is not drawn on the frame.
    double volts = 0.0, amps = 0.0;
    for (const auto& [supply, points] : supplies_) {
        for (const Point& point : points) {
            if (point.volts > volts) volts = point.volts;
            if (point.amps > amps) amps = point.amps;
        }
    }
    script += "set yrange [0:" + Number(volts > 0.0 ? volts * 1.1 : 1.0) + "]\n";
    script += "set y2range [0:" + Number(amps > 0.0 ? amps * 1.1 : 1.0) + "]\n";
    std::string plots;
    int block = 0;
    for (const auto& [supply, points] : supplies_) {
        const std::string name = "$log" + std::to_string(block++);
        script += name + " << EOD\n";
        for (const Point& point : points) {
            script += Number(point.epochSeconds) + " " + Number(point.volts) + " " +
                      Number(point.amps) + "\n";
        }
        script += "EOD\n";
        plots += std::string(plots.empty() ? "plot " : ", ") + name +
                 " using 1:2 axes x1y1 with lines lw 2 title " +
                 GnuplotQuoted(supply + " voltage") + ", " + name +
                 " using 1:3 axes x1y2 with lines lw 2 dt 2 title " +
                 GnuplotQuoted(supply + " current");
    }
    file_.Draw(script + plots + "\n");
}

}  // namespace qmdc::cli
