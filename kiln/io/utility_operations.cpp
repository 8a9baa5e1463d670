#include "utility_operations.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "QmDC.h"
#include "io_timeout_scope.h"
#include "visa.h"
#include "../attributes/split_list.h"
#include "../attributes/value_checks.h"
#include "../session/driver_session.h"
#include "../session/text_copy.h"

namespace kiln {
namespace {

const char* const kSimulationRefusal =
    "Direct I/O operations are not available in simulation mode.";
const char* const kErrorQueueParseFailure =
    "Failed to parse the response to the SYST:ERR? query.  The response is expected to be a "
    "comma-separated list of 2 items in the form '<error code>,<error message>'.";

// The instrument drains at most this much of an over-long response, so that a
// device that never stops talking cannot hold the caller forever.
constexpr size_t kMaxDrainBytes = 64u << 20;

std::string StripQuotes(const std::string& text) {
    const auto first = text.find_first_not_of('"');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of('"') - first + 1);
}

// "*RST" and "*OPC?" under the reset timeout, then the status check.
ViStatus SendReset(DriverSession& session) {
    IoTimeoutScope timeout(session.VisaInstrumentSession(), session.GetResetTimeout());
    ViStatus status = session.Printf("*RST\n");
    if (status < 0) return status;
    ViInt32 complete = 0;
    status = session.Queryf("*OPC?\n", "%ld%*T", &complete);
    if (status < 0) return status;
    return session.CheckStatus();
}

// The checks of both direct I/O functions: the count, then simulation.
ViStatus CheckDirectIo(DriverSession& session, ViInt64 count, const char* function) {
    if (count < 0 || count > ViInt64{0xFFFFFFFF}) {
        return ReportInvalidValue(session, count, function, "BufferSize");
    }
    if (session.GetSimulate()) {
        return session.ReportErrorWithText(QMDC_ERROR_IO_GENERAL, kSimulationRefusal);
    }
    return VI_SUCCESS;
}

// Reads a signed decimal code: optional blanks and sign, then digits. Text that
// is no number, or a number outside 32 bits, is rejected.
bool ParseErrorCode(const std::string& text, ViInt32& code) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    code = static_cast<ViInt32>(value);
    return true;
}

}  // namespace

ViStatus ResetInstrument(DriverSession& session) {
    if (session.GetSimulate()) {
        session.InvalidateAllAttributes();
        return VI_SUCCESS;
    }
    const ViStatus status = SendReset(session);
    if (status >= 0) session.InvalidateAllAttributes();
    return status;
}

ViStatus DisableInstrument(DriverSession& session) {
    return session.GetSimulate() ? VI_SUCCESS : SendReset(session);
}

ViStatus SelfTest(DriverSession& session, ViInt16* testResult, ViChar testMessage[]) {
    if (session.GetSimulate()) {
        *testResult = 0;
        CopyTruncated("Selftest passed", kFixedTextSize, testMessage);
        return VI_SUCCESS;
    }
    ViStatus status;
    {
        IoTimeoutScope timeout(session.VisaInstrumentSession(), session.GetSelfTestTimeout());
        status = session.QueryNumber("*TST?\n", "%hd%*T", testResult);
        if (status >= 0) status = session.CheckStatus();
    }
    if (status < 0) return status;
    CopyTruncated(*testResult != 0 ? "Selftest failed" : "Selftest passed", kFixedTextSize,
                  testMessage);
    return status;
}

ViStatus ErrorQuery(DriverSession& session, ViInt32* errorCode, ViChar errorMessage[]) {
    if (session.GetSimulate()) {
        *errorCode = 0;
        CopyTruncated("No error.", kFixedTextSize, errorMessage);
        return VI_SUCCESS;
    }
    char line[kFixedTextSize] = {};
    // At most 255 characters of the line; the rest of it is discarded.
    const ViStatus status = session.Queryf(":SYST:ERR?\n", "%255[^\n]%*T", line);
    if (status < 0) return status;
    const std::string answer = StripQuotes(TrimBlanks(line));
    const auto comma = answer.find(',');
    ViInt32 code = 0;
    if (comma == std::string::npos || !ParseErrorCode(TrimBlanks(answer.substr(0, comma)), code)) {
        return session.ReportErrorWithText(QMDC_ERROR_UNEXPECTED_RESPONSE, kErrorQueueParseFailure);
    }
    *errorCode = code;
    CopyTruncated(StripQuotes(TrimBlanks(answer.substr(comma + 1))), kFixedTextSize, errorMessage);
    return status;
}

ViStatus GetNextError(DriverSession& session, ViInt32 bufferSize, ViChar value[]) {
    if (session.GetSimulate()) {
        CopyTruncated("0,\"No error\"", bufferSize, value);
        return VI_SUCCESS;
    }
    // A caller who asked for nothing still takes the entry off the queue.
    char scratch[kFixedTextSize];
    const bool wanted = bufferSize > 0;
    const ViStatus status =
        session.QueryText("SYST:ERR?\n", "%#[^\n]%*t", wanted ? bufferSize : kFixedTextSize,
                          wanted ? value : scratch);
    return status < 0 ? status : session.CheckStatus();
}

ViStatus DirectWrite(DriverSession& session, ViInt64 count, const ViByte* buffer,
                     ViInt64* returnCount) {
    const ViStatus checked = CheckDirectIo(session, count, "viWrite");
    if (checked < 0) return checked;
    ViUInt32 written = 0;
    const ViStatus status =
        viWrite(session.VisaInstrumentSession(), buffer, static_cast<ViUInt32>(count), &written);
    if (returnCount != nullptr) *returnCount = written;
    return status;
}

ViStatus DirectRead(DriverSession& session, ViInt64 count, ViByte* buffer, ViInt64* returnCount) {
    const ViStatus checked = CheckDirectIo(session, count, "viRead");
    if (checked < 0) return checked;
    const ViSession vi = session.VisaInstrumentSession();
    ViUInt32 read = 0;
    ViStatus status = viRead(vi, buffer, static_cast<ViUInt32>(count), &read);
    if (returnCount != nullptr) *returnCount = read;
    // Drop the rest of a response that did not fit, so the next query starts on
    // a fresh message. A read of no bytes started no response: there is
    // nothing to drop, and waiting for one would only end in a timeout.
    ViByte scratch[4096];
    for (size_t drained = 0;
         count > 0 && status == VI_SUCCESS_MAX_CNT && drained < kMaxDrainBytes;) {
        ViUInt32 dropped = 0;
        status = viRead(vi, scratch, sizeof scratch, &dropped);
        drained += dropped;
    }
    if (status < 0) session.NoteAnswerOwed();
    return status;
}

}  // namespace kiln
