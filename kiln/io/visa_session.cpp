#include "visa_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "io_timeout_scope.h"
#include "visa.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {
// Bits 2 to 5 of the standard event status register: query, device-dependent,
// execution and command error.
constexpr ViInt32 kEventErrorMask = 0x3C;
constexpr size_t kIdentityFieldLength = 256;
}  // namespace

template <class Derived>
ViStatus VisaSession<Derived>::OpenIo() {
    Derived& self = Self();
    if (self.GetSimulate()) return VI_SUCCESS;
    ViStatus status = viOpenDefaultRM(&visaResourceManager);
    if (status < 0) {
        visaResourceManager = 0;
        return status;
    }
    status = viOpen(visaResourceManager, self.GetIoResourceDescriptor().c_str(), VI_NULL,
                    static_cast<ViUInt32>(self.GetOpenTimeout()), &visaSession);
    if (status < 0) {
        // Nothing else will ever close the resource manager of a failed open.
        viClose(visaResourceManager);
        visaResourceManager = 0;
        visaSession = 0;
    }
    return status;
}

template <class Derived>
ViStatus VisaSession<Derived>::CloseIo() {
    if (Self().GetSimulate() || visaResourceManager == 0) return VI_SUCCESS;
    // Closing the resource manager also closes the instrument session.
    const ViStatus status = viClose(visaResourceManager);
    if (status >= 0) {
        visaResourceManager = 0;
        visaSession = 0;
    }
    return status;
}

template <class Derived>
void VisaSession<Derived>::InterruptIo() {
    if (visaSession != 0) viClose(visaSession);
}

template <class Derived>
ViStatus VisaSession<Derived>::ClearStatus() {
    if (Self().GetSimulate()) return VI_SUCCESS;
    const ViStatus status = Printf("*CLS\n");
    return status < 0 ? status : CheckStatus();
}

template <class Derived>
ViStatus VisaSession<Derived>::CheckStatus() {
    Derived& self = Self();
    if (!self.GetQueryInstrStatus() || self.GetSimulate()) return VI_SUCCESS;
    ViInt32 events = 0;
    const ViStatus status = QueryNumber("*ESR?\n", "%ld%*T", &events);
    if (status < 0) return status;
    if ((events & kEventErrorMask) != 0) return self.ReportError(QMDC_ERROR_INSTRUMENT_STATUS);
    return status;
}

template <class Derived>
ViStatus VisaSession<Derived>::QueryIdentity(std::string& manufacturer, std::string& model,
                                             std::string& serialNumber,
                                             std::string& firmwareRevision) {
    if (Self().GetSimulate()) return VI_SUCCESS;
    char fields[4][kIdentityFieldLength + 1] = {};
    const ViStatus status = Queryf("*IDN?\n", "%256[^,],%256[^,],%256[^,],%256[^,]%*T", fields[0],
                                   fields[1], fields[2], fields[3]);
    if (status < 0) return status;
    // An empty line fills the first field with its terminator and nothing
    // else; the identity the session holds is kept.
    if (fields[0][0] != '\0' && fields[0][std::strspn(fields[0], "\r\n")] == '\0')
        return ReportEmptyAnswer("*IDN?\n");
    manufacturer = fields[0];
    model = fields[1];
    serialNumber = fields[2];
    // The last field runs to the end of the line; the line's terminator is not
    // part of the revision.
    firmwareRevision = fields[3];
    while (!firmwareRevision.empty() &&
           (firmwareRevision.back() == '\n' || firmwareRevision.back() == '\r')) {
        firmwareRevision.pop_back();
    }
    return CheckStatus();
}

template <class Derived>
ViStatus VisaSession<Derived>::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus status = viVPrintf(visaSession, format, args);
    va_end(args);
    return status;
}

template <class Derived>
ViStatus VisaSession<Derived>::Queryf(const char* command, const char* scanFormat, ...) {
    if (answerOwed) {
        const ViStatus synced = Resynchronise();
        if (synced < 0) return synced;
    }
    va_list args;
    va_start(args, scanFormat);
    const ViStatus status = viVQueryf(visaSession, command, scanFormat, args);
    va_end(args);
    // A failed scan may have stopped inside the answer, or before it came.
    if (status < 0) answerOwed = true;
    return status;
}

namespace {
// What of a dropped message is kept to compare it with the identity.
constexpr size_t kKeptMessageLength = 1024;

// Reads the rest of a message; its first bytes are appended to `head`.
ViStatus ReadMessage(ViSession vi, std::string& head) {
    ViByte chunk[512];
    ViStatus status;
    do {
        ViUInt32 got = 0;
        status = viRead(vi, chunk, sizeof chunk, &got);
        const size_t keep = std::min<size_t>(got, kKeptMessageLength - head.size());
        head.append(reinterpret_cast<const char*>(chunk), keep);
    } while (status == VI_SUCCESS_MAX_CNT);
    return status;
}

// The identity answer: the four fields read at init, then the line's end or
// more fields (beyond the four that init keeps).
bool IsIdentityAnswer(std::string message, const std::string& identity) {
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message.compare(0, identity.size(), identity) == 0 &&
           (message.size() == identity.size() || message[identity.size()] == ',');
}
}  // namespace

template <class Derived>
ViStatus VisaSession<Derived>::Resynchronise() {
    Derived& self = Self();
    const std::string identity =
        self.GetInstrumentManufacturer() + ',' + self.GetInstrumentModel() + ',' +
        self.GetInstrumentSerialNumber() + ',' + self.GetInstrumentFirmwareRevision();
    ViUInt32 timeoutMs = 0;
    ViStatus status = viGetAttribute(visaSession, VI_ATTR_TMO_VALUE, &timeoutMs);
    if (status < 0) return status;
    status = viPrintf(visaSession, "*IDN?\n");
    if (status < 0) return status;
    ++identityAnswersOwed;
    // Each read gets what is left of the one timeout; the caller's setting
    // comes back on every way out.
    IoTimeoutScope restore(visaSession, static_cast<ViInt32>(timeoutMs));
    const auto start = std::chrono::steady_clock::now();
    // A message the last resynchronisation began to read goes on here.
    std::string message = std::move(unfinishedMessage);
    unfinishedMessage.clear();
    while (identityAnswersOwed > 0) {
        if (timeoutMs != VI_TMO_INFINITE) {
            const auto spent = static_cast<unsigned long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count());
            if (spent >= timeoutMs && spent > 0) {
                unfinishedMessage = std::move(message);
                return VI_ERROR_TMO;
            }
            viSetAttribute(visaSession, VI_ATTR_TMO_VALUE,
                           static_cast<ViUInt32>(timeoutMs - spent));
        }
        status = ReadMessage(visaSession, message);
        if (status < 0) {
            unfinishedMessage = std::move(message);
            return status;
        }
        if (IsIdentityAnswer(message, identity)) --identityAnswersOwed;
        message.clear();
    }
    answerOwed = false;
    return VI_SUCCESS;
}

namespace {
// The command without its line feed, as error texts name it.
std::string CommandName(const char* command) {
    std::string name(command);
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

// The scan format with "%n" right after its first conversion: a scan stops at
// the first conversion that matches nothing, so the count is stored only when
// that conversion read something.
std::string CountAfterFirstConversion(const char* scanFormat) {
    const char* rest = std::strchr(scanFormat + 1, '%');
    std::string format(scanFormat, rest != nullptr ? rest : scanFormat + std::strlen(scanFormat));
    format += "%n";
    if (rest != nullptr) format += rest;
    return format;
}
}  // namespace

template <class Derived>
template <class Number>
ViStatus VisaSession<Derived>::QueryNumber(const char* command, const char* scanFormat,
                                           Number* value) {
    int consumed = -1;
    const ViStatus status =
        Queryf(command, CountAfterFirstConversion(scanFormat).c_str(), value, &consumed);
    if (status < 0 || consumed >= 0) return status;
    return Self().ReportErrorWithText(QMDC_ERROR_UNEXPECTED_RESPONSE,
                                      "The answer to %s holds no number that fits.",
                                      {CommandName(command)});
}

template <class Derived>
ViStatus VisaSession<Derived>::QueryText(const char* command, const char* scanFormat,
                                         ViInt32 bufferSize, ViChar* buffer) {
    // A scan that matches nothing writes nothing, and one cut short by a
    // failure leaves what it copied unterminated: the buffer keeps neither
    // what it held before nor a torn answer.
    const auto clear = [&] {
        if (bufferSize > 0) buffer[0] = '\0';
    };
    clear();
    ViInt32 size = bufferSize;
    int consumed = -1;
    const ViStatus status =
        Queryf(command, CountAfterFirstConversion(scanFormat).c_str(), &size, buffer, &consumed);
    if (status < 0) {
        clear();
        return status;
    }
    if (consumed < 0) return ReportEmptyAnswer(command);
    // An instrument that ends its lines in CR LF: the CR is no part of the text.
    if (bufferSize > 0) {
        size_t end = strnlen(buffer, static_cast<size_t>(bufferSize));
        if (end == static_cast<size_t>(bufferSize)) return status;  // unterminated: not ours
        const size_t read = end;
        while (end > 0 && buffer[end - 1] == '\r') buffer[--end] = '\0';
        if (read > 0 && end == 0) return ReportEmptyAnswer(command);
    }
    return status;
}

template <class Derived>
ViStatus VisaSession<Derived>::ReportEmptyAnswer(const char* command) {
    return Self().ReportErrorWithText(QMDC_ERROR_UNEXPECTED_RESPONSE, "The answer to %s is empty.",
                                      {CommandName(command)});
}

template class VisaSession<DriverSession>;
template ViStatus VisaSession<DriverSession>::QueryNumber(const char*, const char*, ViInt32*);
template ViStatus VisaSession<DriverSession>::QueryNumber(const char*, const char*, ViInt16*);
template ViStatus VisaSession<DriverSession>::QueryNumber(const char*, const char*, ViReal64*);

}  // namespace kiln
