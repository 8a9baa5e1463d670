// One open driver session for the length of a subcommand. Every driver call
// goes through Check(), which turns a failed status into a Failure carrying
// the driver's own description (and, when the instrument reported an error,
// the entries of its error queue).
#pragma once

#include <string>
#include <vector>

#include "QmDC.h"
#include "connection.h"

namespace qmdc::cli {

class DriverSession {
  public:
    explicit DriverSession(const ConnectionOptions& connection);
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    ViSession vi() const { return vi_; }
    bool simulated() const { return simulated_; }

    // Returns status when it is not an error; otherwise throws a Failure
    // "<what>: <description>" (subject fills a lone "%s" the description leaves).
    ViStatus Check(ViStatus status, const std::string& what, const std::string& subject = "") const;

    // A text attribute of the session ("" channel); a failure throws as Check.
    std::string Text(ViAttr id, const std::string& what) const;
    // A real or Boolean attribute of the session, the same way.
    double Real(ViAttr id, const std::string& what) const;
    bool Boolean(ViAttr id, const std::string& what) const;

    // The serial number, the third field of the identity ("Orvane,Rack 30-70
    // QM,SN0001,1.2.3"), asked for by direct I/O: the driver reads it at init
    // but keeps it behind no attribute. "simulated" in simulation, "unknown"
    // when the field is empty; a failed exchange throws as Check.
    std::string SerialNumber() const;

    // Takes the entries of the instrument's error queue ("-222 Data out of
    // range"), which empties it; stops quietly when the query fails.
    std::vector<std::string> TakeErrorQueue() const;

  private:
    ViSession vi_ = VI_NULL;
    bool simulated_ = false;
};

// The description of a failed status: the driver's record of it, else the
// message of the status code; subject fills the "%s" a description leaves for
// what it is about, when it leaves exactly one.
std::string DescribeStatus(ViSession vi, ViStatus status, const std::string& subject = "");

}  // namespace qmdc::cli
