// Output ratings of an instrument of the family, derived from its model text.
#ifndef QMDC_EMULATOR_CORE_RATINGS_H
#define QMDC_EMULATOR_CORE_RATINGS_H

#include <string>

namespace qmdc::emu {

struct Ratings {
    double maxVoltage;  // V
    double maxCurrent;  // A
    double maxPower;    // W: 600 for a bench unit, 1500 for a rack unit
    bool recognised;    // false when the model text is outside the family's naming grammar
};

// Model texts follow "<Bench|Rack> <volts>-<amps> QM". A text outside that grammar is still
// accepted (so a client can be shown an instrument it must reject) and gets the ratings of
// the 30 V, 70 A rack unit.
Ratings RatingsFromModel(const std::string& model);

}  // namespace qmdc::emu

#endif
