#include "value_checks.h"

#include <cstdio>
#include <string>

#include "QmDC.h"
#include "../session/driver_session.h"
#include "../session/text_copy.h"

namespace kiln {
namespace {

const char* const kInterchangeNotSupported = "Interchange checking is not supported by the driver.";

}  // namespace

ViStatus ReportInvalidValue(DriverSession& session, ViInt32 value, const char* function,
                            const char* parameter) {
    return ReportInvalidValue(session, ViInt64{value}, function, parameter);
}

ViStatus ReportInvalidValue(DriverSession& session, ViInt64 value, const char* function,
                            const char* parameter) {
    return session.ReportError(QMDC_ERROR_INVALID_VALUE,
                               {std::to_string(value), function, parameter});
}

ViStatus ReportInvalidValue(DriverSession& session, ViReal64 value, const char* function,
                            const char* parameter) {
    char text[400];  // "%f" of the largest double has 316 digits
    std::snprintf(text, sizeof text, "%f", value);
    return session.ReportError(QMDC_ERROR_INVALID_VALUE, {text, function, parameter});
}

ViStatus GetNextCoercionRecord(DriverSession& session, ViInt32 bufferSize, ViChar record[]) {
    if (record == nullptr && bufferSize != 0) {
        return session.ReportError(QMDC_ERROR_NULL_POINTER,
                                   {"GetNextCoercionRecord", "CoercionRecord"});
    }
    auto& queue = session.CoercionQueue();
    const std::string next = queue.empty() ? std::string() : queue.front();
    const ViStatus needed = static_cast<ViStatus>(next.size() + 1);
    if (bufferSize == 0) return needed;
    if (bufferSize < 0) {
        if (!next.empty()) {
            return ReportInvalidValue(session, bufferSize, "GetNextCoercionRecord", "BufferSize");
        }
        record[0] = '\0';
        if (!queue.empty()) queue.pop_front();
        return VI_SUCCESS;
    }
    CopyTruncated(next, bufferSize, record);
    if (!queue.empty()) queue.pop_front();
    return bufferSize < needed ? needed : VI_SUCCESS;
}

ViStatus RefuseInterchangeCheck(DriverSession& session, ViBoolean value) {
    if (value != VI_TRUE || session.SupportsInterchangeCheck()) return VI_SUCCESS;
    return session.ReportErrorWithText(QMDC_ERROR_VALUE_NOT_SUPPORTED, kInterchangeNotSupported,
                                       {"True", "AttributeValue", "SetAttributeViBoolean"});
}

ViStatus RefuseInterchangeCheckAtInit(DriverSession& session) {
    if (!session.GetInterchangeCheck() || session.SupportsInterchangeCheck()) return VI_SUCCESS;
    return session.ReportErrorWithText(QMDC_ERROR_BAD_OPTION_VALUE, kInterchangeNotSupported,
                                       {"True"});
}

ViStatus RefuseSimulationChange(DriverSession& session, ViBoolean value) {
    if (value == VI_TRUE || !session.GetInitialSimulate()) return VI_SUCCESS;
    return session.ReportError(QMDC_ERROR_CANNOT_CHANGE_SIMULATION_STATE);
}

}  // namespace kiln
