// A supply watched for a long time (qmdc log, qmdc panel): its own driver
// session, closed when a reading fails and opened again on the next attempt,
// so that a supply switched off or unplugged for a while comes back by itself.
#pragma once

#include <optional>
#include <string>

#include "driver_session.h"
#include "output_state.h"

namespace qmdc::cli {

// One look at the output: what was measured and how it regulates.
struct SupplySample {
    Reading reading;
    OutputState state;
    // "CV", "CC", "UR" or "off"; "off" also when a protection tripped.
    const char* mode() const { return state.tripped ? "off" : state.code; }
    // "OV", "OC" or "none".
    const char* protection() const { return state.tripped ? state.code : "none"; }
};

class SupplyLink {
  public:
    SupplyLink(std::string name, ConnectionOptions connection);

    const std::string& name() const { return name_; }
    const ConnectionOptions& connection() const { return connection_; }

    // The open session, opened now when there is none; throws a Failure
    // when it cannot be opened.
    const DriverSession& Session();
    bool open() const { return session_.has_value(); }
    // Closes the session after a failure; the next Session() opens a new one.
    void Drop() { session_.reset(); }

    // Measures voltage and current and reads the output state; a failure
    // drops the session and throws it.
    SupplySample Sample();

  private:
    std::string name_;
    ConnectionOptions connection_;
    std::optional<DriverSession> session_;
};

// The supply's short name for rows and readouts: the logical name or resource
// as given ("simulated" for a simulated session without one).
std::string SupplyName(const ConnectionOptions& connection);

}  // namespace qmdc::cli
