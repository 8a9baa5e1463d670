#include "supply_settings.h"

#include <functional>
#include <iostream>

#include "failure.h"

namespace qmdc::cli {

SupplySettings::SupplySettings(const DriverSession& session) : session_(session) {
    volts_ = session.Real(QMDC_ATTR_VOLTAGE_LEVEL, "voltage level");
    amps_ = session.Real(QMDC_ATTR_CURRENT_LEVEL, "current level");
    outputOn_ = session.Boolean(QMDC_ATTR_OUTPUT_ENABLED, "output enabled");
}

SupplySettings::~SupplySettings() {
    if (restored_) return;
    const std::string failure = TryRestore(false);
    if (!failure.empty()) std::cerr << "qmdc: warning: " << failure << std::endl;
}

std::string SupplySettings::TryRestore(bool keepOff) {
    restored_ = true;
    const ViSession vi = session_.vi();
    const bool switchOn = outputOn_ && !keepOff;
    std::string failure;
    struct Step {
        const char* what;
        std::function<ViStatus()> run;
    };
    // Off first, so that the device under test never sees a mix of old and new levels.
    const Step steps[] = {
        {"switch the output off", [&] { return QmDC_ConfigureOutputEnabled(vi, "", VI_FALSE); }},
        {"restore the voltage level",
         [&] { return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_VOLTAGE_LEVEL, volts_); }},
        {"restore the current level",
         [&] { return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, amps_); }},
        // Never on again with levels that could not be restored.
        {"switch the output on again",
         [&] {
             return switchOn && failure.empty() ? QmDC_ConfigureOutputEnabled(vi, "", VI_TRUE)
                                                : VI_SUCCESS;
         }},
    };
    for (const Step& step : steps) {
        const ViStatus status = step.run();
        if (status < 0 && failure.empty()) {
            failure = std::string("could not ") + step.what + ": " + DescribeStatus(vi, status);
        }
    }
    return failure;
}

void SupplySettings::Restore(bool keepOff) {
    const std::string failure = TryRestore(keepOff);
    if (!failure.empty()) throw Failure(failure);
}

}  // namespace qmdc::cli
