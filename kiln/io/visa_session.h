// The VISA layer of a session: the instrument connection and the formatted
// command and query primitives every instrument operation uses.
#pragma once

#include <cstdarg>
#include <string>

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
    // viQueryf on the instrument session: the command, then the scan. A query
    // whose answer may still be on its way (it failed, or stopped inside a
    // message) leaves the session out of step; the next one resynchronises
    // first, so that it never takes an earlier question's answer for its own.
    ViStatus Queryf(const char* command, const char* scanFormat, ...);

    // Direct I/O that failed may also have left an answer on its way.
    void NoteAnswerOwed() { answerOwed = true; }

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

    // Ends the I/O a call on another thread is blocked in (even under an
    // infinite timeout) and any it starts later: they fail with VI_ERROR_ABORT
    // or, once the instrument session is gone, VI_ERROR_INV_OBJECT. Close
    // calls it before it waits for the session lock; CloseIo still closes
    // the resource manager.
    void InterruptIo();

    ViSession VisaResourceManager() const { return visaResourceManager; }
    ViSession VisaInstrumentSession() const { return visaSession; }

  protected:
    ViSession visaResourceManager = 0;
    ViSession visaSession = 0;

  private:
    Derived& Self() { return static_cast<Derived&>(*this); }

    // Sends "*IDN?" and drops every message until its answer (the identity
    // read at init) has come, all within one I/O timeout. The instrument
    // answers in order, so whatever it still owed came before that answer.
    ViStatus Resynchronise();

    // An answer may still be on its way: the next query resynchronises first.
    bool answerOwed = false;
    // Identity queries sent by resynchronisations whose answer has not come
    // yet (one that timed out leaves its own behind).
    unsigned identityAnswersOwed = 0;
    // The start of a message a resynchronisation read before it timed out.
    std::string unfinishedMessage;
};

}  // namespace kiln
