// The settings a sweep changes, taken before it starts and put back at its
// end, however it ends: the voltage level, the current level and whether the
// output is on. A sweep must not leave its last step's levels for the next
// "output on" to put on the device under test.
#pragma once

#include "driver_session.h"

namespace qmdc::cli {

class SupplySettings {
  public:
    // Reads the settings (a failure throws, before anything is changed).
    explicit SupplySettings(const DriverSession& session);
    // Restores them when Restore() was not called, warning on stderr of what fails.
    ~SupplySettings();
    SupplySettings(const SupplySettings&) = delete;
    SupplySettings& operator=(const SupplySettings&) = delete;

    // Switches the output off, sets the levels back and, unless keepOff
    // (after a protection tripped), switches it on again if it was on.
    // Throws a Failure for the first step that fails, after trying the rest.
    void Restore(bool keepOff);

    bool outputWasOn() const { return outputOn_; }
    double volts() const { return volts_; }
    double amps() const { return amps_; }

  private:
    // The first failure's description, "" when all went well.
    std::string TryRestore(bool keepOff);

    const DriverSession& session_;
    ViReal64 volts_ = 0.0;
    ViReal64 amps_ = 0.0;
    bool outputOn_ = false;
    bool restored_ = false;
};

}  // namespace qmdc::cli
