// The V-I curve of a sweep, drawn by gnuplot into an SVG or PNG file.
#pragma once

#include <string>
#include <vector>

#include "gnuplot.h"
#include "output_state.h"

namespace qmdc::cli {

// One step of a sweep: the voltage asked for and what was measured.
struct SweepPoint {
    double setVolts;
    Reading measured;
    OutputState state;
};

// The current against the voltage asked for, one line through all steps and
// the points marked by how the supply regulated: where constant voltage
// gives way to constant current the curve's knee changes colour.
class VoltageCurrentPlot {
  public:
    // Checks what can be checked before a sweep starts: the file's extension
    // (.svg or .png: UsageError), that the file can be written and that
    // gnuplot is installed (Failure).
    explicit VoltageCurrentPlot(std::string path);

    // Runs gnuplot; throws a Failure when it does not succeed.
    void Write(const std::string& title, const std::vector<SweepPoint>& points) const;

  private:
    GnuplotFile file_;
};

}  // namespace qmdc::cli
