// The SCPI shell's exchanges with the instrument, through the driver's
// direct I/O: a query prints its answer, and after every line the errors it
// left in the instrument's queue are printed against it ("VOLT 99: error
// -222,..."), so that no error is reported against a later line. A timeout is
// reported and the next line is served as usual; a lost connection ends the
// shell.
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

    // Runs one line; false when the connection is lost (said once on err).
    bool Execute(const std::string& line);

    // Whether any line failed or caused an instrument error.
    bool anyFailed() const { return anyFailed_; }

  private:
    ViStatus Send(const std::string& line);
    ViStatus Receive(std::string& answer);
    // Reads "SYST:ERR?" until it answers 0, printing each error against line.
    ViStatus ReportErrors(const std::string& line);
    // False when the failure ends the shell.
    bool ReportFailure(ViStatus status, const std::string& line);

    const DriverSession& session_;
    std::ostream& out_;
    std::ostream& err_;
    bool anyFailed_ = false;
};

}  // namespace qmdc::cli
