#include "vi_plot.h"

#include <algorithm>

#include "number_text.h"

namespace qmdc::cli {
namespace {

std::string Script(const std::string& title, const std::vector<SweepPoint>& points) {
    std::string script = "set title " + GnuplotQuoted(title) + " noenhanced\n";
    script += "set xlabel 'Voltage set (V)'\nset ylabel 'Current (A)'\n";
    script += "set grid\nset key left top\nset xrange [*:*]\nset yrange [0:*]\n";
    script += "$sweep << EOD\n";
    for (const SweepPoint& point : points) {
        script += RealText(point.setVolts) + " " + RealText(point.measured.amps) + " " +
                  point.state.code + "\n";
    }
    script += "EOD\n";
    script += "plot $sweep using 1:2 with lines lw 2 lc rgb '#808080' notitle";
    // One set of points per regulation mode met, in the order met.
    std::vector<std::string> modes;
    for (const SweepPoint& point : points) {
        if (std::find(modes.begin(), modes.end(), point.state.code) != modes.end()) continue;
        modes.push_back(point.state.code);
        script += ", $sweep using 1:(strcol(3) eq " + GnuplotQuoted(point.state.code) +
                  " ? $2 : NaN) with points pointtype 7 pointsize 1 title " +
                  GnuplotQuoted(point.state.text);
    }
    script += "\n";
    return script;
}

}  // namespace

VoltageCurrentPlot::VoltageCurrentPlot(std::string path) : file_(std::move(path)) {}

void VoltageCurrentPlot::Write(const std::string& title,
                               const std::vector<SweepPoint>& points) const {
    file_.Draw(Script(title, points));
}

}  // namespace qmdc::cli
