// What the output is doing, as the driver's QmDC_QueryOutputState tells it,
// and its measured voltage and current.
#pragma once

#include "driver_session.h"

namespace qmdc::cli {

struct OutputState {
    const char* code;  // "CV", "CC", "UR", "OV", "OC"; "off" when none applies
    const char* text;  // "constant voltage", "over-current protection tripped", ...
    bool tripped;      // a protection switched the output off
};

OutputState QueryOutputState(const DriverSession& session);

struct Reading {
    double volts = 0.0;
    double amps = 0.0;
    double watts() const { return volts * amps; }
};

Reading MeasureOutput(const DriverSession& session);

// What the model can do: its voltage and current ratings, and its power
// rating (at full voltage the power rating limits the current).
struct Ratings {
    double volts = 0.0;
    double amps = 0.0;
    double watts = 0.0;
};

Ratings QueryRatings(const DriverSession& session);

}  // namespace qmdc::cli
