// Exported functions that are nothing but frame: error information, session
// locking and the trigger functions this instrument does not support.
#include <cstring>
#include <string>

#include "IviSession.h"
#include "QmDC.h"
#include "../kiln/session/call_frame.h"
#include "../kiln/session/error_messages.h"

using kiln::DriverSession;

namespace {

// One body for every unsupported trigger function; it records nothing.
ViStatus UnsupportedTriggerFunction(ViSession vi) {
    return kiln::Framed(vi, [](DriverSession&) { return QMDC_ERROR_FUNCTION_NOT_SUPPORTED; });
}

}  // namespace

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_GetError(ViSession Vi, ViStatus* ErrorCode,
                                          ViInt32 ErrorDescriptionBufferSize,
                                          ViChar ErrorDescription[]) {
    return IviSession_GetError(Vi, ErrorDescriptionBufferSize, ErrorCode, ErrorDescription);
}

QMDC_API ViStatus QMDC_CALL QmDC_ClearError(ViSession Vi) {
    return IviSession_ClearError(Vi);
}

QMDC_API ViStatus QMDC_CALL QmDC_error_message(ViSession Vi, ViStatus ErrorCode,
                                               ViChar ErrorMessage[256]) {
    return kiln::Guarded(Vi, [&]() -> ViStatus {
        ViStatus status =
            kiln::CheckNullPointer(Vi, "QmDC_error_message", "ErrorMessage", ErrorMessage);
        if (status < 0) return status;
        if (kiln::IsDriverStatus(ErrorCode)) {
            const std::string& text = kiln::MessageText(ErrorCode);
            std::memcpy(ErrorMessage, text.c_str(), text.size() + 1);
            return VI_SUCCESS;
        }
        if (Vi == VI_NULL) return QMDC_ERROR_INVALID_VALUE;
        return kiln::ReportErrorWithText(Vi, QMDC_ERROR_INVALID_VALUE,
                                         "The error code supplied is not defined by the driver.",
                                         {std::to_string(ErrorCode), "error_message", "ErrorCode"});
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_LockSession(ViSession Vi, ViBoolean* CallerHasLock) {
    return kiln::Framed(Vi, [&](DriverSession&) { return IviSession_Lock(Vi, CallerHasLock); });
}

QMDC_API ViStatus QMDC_CALL QmDC_UnlockSession(ViSession Vi, ViBoolean* CallerHasLock) {
    return kiln::Framed(Vi, [&](DriverSession&) { return IviSession_Unlock(Vi, CallerHasLock); });
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggerSource(ViSession Vi, ViConstString, ViInt32) {
    return UnsupportedTriggerFunction(Vi);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggeredVoltageLevel(ViSession Vi, ViConstString,
                                                                ViReal64) {
    return UnsupportedTriggerFunction(Vi);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggeredCurrentLimit(ViSession Vi, ViConstString,
                                                                ViReal64) {
    return UnsupportedTriggerFunction(Vi);
}

QMDC_API ViStatus QMDC_CALL QmDC_Abort(ViSession Vi) {
    return UnsupportedTriggerFunction(Vi);
}
QMDC_API ViStatus QMDC_CALL QmDC_Initiate(ViSession Vi) {
    return UnsupportedTriggerFunction(Vi);
}
QMDC_API ViStatus QMDC_CALL QmDC_SendSoftwareTrigger(ViSession Vi) {
    return UnsupportedTriggerFunction(Vi);
}

}  // extern "C"
