#include "output_state.h"

namespace qmdc::cli {
namespace {

struct StateRow {
    ViInt32 state;
    OutputState answer;
};

// Trips first: a tripped output regulates nothing.
constexpr StateRow kStates[] = {
    {QMDC_VAL_OUTPUT_OVER_VOLTAGE, {"OV", "over-voltage protection tripped", true}},
    {QMDC_VAL_OUTPUT_OVER_CURRENT, {"OC", "over-current protection tripped", true}},
    {QMDC_VAL_OUTPUT_CONSTANT_CURRENT, {"CC", "constant current", false}},
    {QMDC_VAL_OUTPUT_UNREGULATED, {"UR", "unregulated (power limit)", false}},
    {QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, {"CV", "constant voltage", false}},
};
constexpr OutputState kNoState = {"off", "not regulating", false};

}  // namespace

OutputState QueryOutputState(const DriverSession& session) {
    for (const StateRow& row : kStates) {
        ViBoolean in = VI_FALSE;
        session.Check(QmDC_QueryOutputState(session.vi(), "", row.state, &in), "output state");
        if (in == VI_TRUE) return row.answer;
    }
    return kNoState;
}

Reading MeasureOutput(const DriverSession& session) {
    Reading reading;
    session.Check(QmDC_Measure(session.vi(), "", QMDC_VAL_MEASURE_VOLTAGE, &reading.volts),
                  "measure voltage");
    session.Check(QmDC_Measure(session.vi(), "", QMDC_VAL_MEASURE_CURRENT, &reading.amps),
                  "measure current");
    return reading;
}

Ratings QueryRatings(const DriverSession& session) {
    Ratings ratings;
    ViReal64 ampsAtFullVoltage = 0.0;
    session.Check(QmDC_QueryMaxVoltageLevel(session.vi(), "", 0.0, &ratings.volts),
                  "voltage rating");
    session.Check(QmDC_QueryMaxCurrentLimit(session.vi(), "", 0.0, &ratings.amps),
                  "current rating");
    session.Check(QmDC_QueryMaxCurrentLimit(session.vi(), "", ratings.volts, &ampsAtFullVoltage),
                  "power rating");
    ratings.watts = ratings.volts * ampsAtFullVoltage;
    return ratings;
}

}  // namespace qmdc::cli
