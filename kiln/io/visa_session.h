// The VISA layer of a session: the instrument connection and the formatted
// command and query primitives every instrument operation uses.
#pragma once

#include <cstdarg>

#include "io_session.h"

namespace kiln {

// Derived is the session class that completes this layer (option flags,
// resource descriptor, error reporting).
template <class Derived>
class VisaSession : public IoSession {
  public:
    ViStatus OpenIo() override;
    ViStatus CloseIo() override;
    ViStatus ClearStatus() override;
    ViStatus QueryIdentity(std::string& manufacturer, std::string& model, std::string& serialNumber,
                           std::string& firmwareRevision) override;
    ViStatus CheckStatus() override;

    // viPrintf on the instrument session; the format is a whole command line.
    ViStatus Printf(const char* format, ...);
    // viQueryf on the instrument session: the command, then the scan.
    ViStatus Queryf(const char* command, const char* scanFormat, ...);

    // Queries one number with a scan format made of its conversion and what
    // drops the rest of the answer ("%lf%*t", "%ld%*T"). An answer that holds
    // no number, or one the value's type cannot hold (the scan takes no such
    // number), is reported as an unexpected response instead of leaving the
    // value as it was.
    template <class Number>
    ViStatus QueryNumber(const char* command, const char* scanFormat, Number* value);

    // Queries a text answer straight into the caller's buffer, with a scan
    // format whose first conversion is a sized one ("%#[^\n]%*t"). The buffer
    // always ends up terminated (empty after a failure), a carriage return
    // before the line's linefeed is left out, and an answer that holds nothing
    // is reported as an unexpected response.
    ViStatus QueryText(const char* command, const char* scanFormat, ViInt32 bufferSize,
                       ViChar* buffer);

    // Records that the answer to command was an empty line.
    ViStatus ReportEmptyAnswer(const char* command);

    ViSession VisaResourceManager() const { return visaResourceManager; }
    ViSession VisaInstrumentSession() const { return visaSession; }

  protected:
    ViSession visaResourceManager = 0;
    ViSession visaSession = 0;

  private:
    Derived& Self() { return static_cast<Derived&>(*this); }
};

}  // namespace kiln
