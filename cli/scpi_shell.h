// The SCPI shell's exchanges with the instrument, through the driver's
// direct I/O: a query prints its answer, a command prints the errors it left
// in the instrument's queue, a timeout is reported and the next line is
// served as usual.
#pragma once

#include <ostream>
#include <string>

#include "driver_session.h"

namespace qmdc::cli {

class ScpiShell {
  public:
    ScpiShell(const DriverSession& session, std::ostream& out, std::ostream& err);

    // A line with a '?' is a query.
    static bool IsQuery(const std::string& line);

    void Execute(const std::string& line);

  private:
    ViStatus Send(const std::string& line);
    ViStatus Receive(std::string& answer);
    // Reads "SYST:ERR?" until it answers 0, printing each error.
    void ReportErrors();
    void ReportFailure(ViStatus status, const std::string& line);

    const DriverSession& session_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace qmdc::cli
