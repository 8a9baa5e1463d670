// Exported attribute functions: typed Get and Set, invalidation, coercion
// records, interchange checking (not supported) and channel names.
#include <string>

#include "QmDC.h"
#include "../kiln/attributes/typed_access.h"
#include "../kiln/attributes/value_checks.h"
#include "../kiln/repcap/channel_names.h"
#include "../kiln/session/call_frame.h"
#include "../kiln/session/driver_session.h"

using kiln::DriverSession;

namespace {

// The scalar typed Gets check the value pointer, naming themselves, before
// anything else; the attribute's getter then frames itself.
template <class T>
ViStatus CheckedGet(const char* function, ViSession vi, ViConstString channel, ViAttr id,
                    T* value) {
    return kiln::Guarded(vi, [&]() -> ViStatus {
        const ViStatus status = kiln::CheckNullPointer(vi, function, "AttributeValue", value);
        return status < 0 ? status : kiln::GetAttribute(vi, channel, id, value);
    });
}

// The interchange functions: interchange checking is not supported.
ViStatus InterchangeNotSupported(ViSession vi, const char* function) {
    return kiln::Framed(vi, [&](DriverSession& s) {
        return s.ReportError(QMDC_ERROR_FUNCTION_NOT_SUPPORTED, {function});
    });
}

}  // namespace

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViInt32(ViSession Vi, ViConstString RepCapIdentifier,
                                                     ViAttr AttributeID, ViInt32* AttributeValue) {
    return CheckedGet("QmDC_GetAttributeViInt32", Vi, RepCapIdentifier, AttributeID,
                      AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViReal64(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID,
                                                      ViReal64* AttributeValue) {
    return CheckedGet("QmDC_GetAttributeViReal64", Vi, RepCapIdentifier, AttributeID,
                      AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViBoolean(ViSession Vi, ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViBoolean* AttributeValue) {
    return CheckedGet("QmDC_GetAttributeViBoolean", Vi, RepCapIdentifier, AttributeID,
                      AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViSession(ViSession Vi, ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViSession* AttributeValue) {
    return CheckedGet("QmDC_GetAttributeViSession", Vi, RepCapIdentifier, AttributeID,
                      AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViString(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID,
                                                      ViInt32 AttributeValueBufferSize,
                                                      ViChar AttributeValue[]) {
    return kiln::GetAttributeText(Vi, RepCapIdentifier, AttributeID, AttributeValueBufferSize,
                                  AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViInt32(ViSession Vi, ViConstString RepCapIdentifier,
                                                     ViAttr AttributeID, ViInt32 AttributeValue) {
    return kiln::SetAttribute(Vi, RepCapIdentifier, AttributeID, AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViReal64(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID, ViReal64 AttributeValue) {
    return kiln::SetAttribute(Vi, RepCapIdentifier, AttributeID, AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViBoolean(ViSession Vi, ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViBoolean AttributeValue) {
    return kiln::SetAttribute(Vi, RepCapIdentifier, AttributeID, AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViSession(ViSession Vi, ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViSession AttributeValue) {
    return kiln::SetAttribute(Vi, RepCapIdentifier, AttributeID, AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViString(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID,
                                                      ViConstString AttributeValue) {
    return kiln::SetAttributeText(Vi, RepCapIdentifier, AttributeID, AttributeValue);
}

QMDC_API ViStatus QMDC_CALL QmDC_InvalidateAllAttributes(ViSession Vi) {
    return kiln::Framed(Vi, [](DriverSession& s) {
        s.InvalidateAllAttributes();
        return VI_SUCCESS;
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_GetNextCoercionRecord(ViSession Vi, ViInt32 BufferSize,
                                                       ViChar CoercionRecord[]) {
    return kiln::Framed(Vi, [&](DriverSession& s) {
        return kiln::GetNextCoercionRecord(s, BufferSize, CoercionRecord);
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_GetNextInterchangeWarning(ViSession Vi, ViInt32, ViChar[]) {
    return InterchangeNotSupported(Vi, "GetNextInterchangeWarning");
}

QMDC_API ViStatus QMDC_CALL QmDC_ClearInterchangeWarnings(ViSession Vi) {
    return InterchangeNotSupported(Vi, "ClearInterchangeWarnings");
}

QMDC_API ViStatus QMDC_CALL QmDC_ResetInterchangeCheck(ViSession Vi) {
    return InterchangeNotSupported(Vi, "ResetInterchangeCheck");
}

QMDC_API ViStatus QMDC_CALL QmDC_GetChannelName(ViSession Vi, ViInt32 Index, ViInt32 BufferSize,
                                                ViChar Name[]) {
    return kiln::Framed(Vi, [&](DriverSession& s) -> ViStatus {
        const ViStatus status = kiln::CheckNullPointer(Vi, "QmDC_GetChannelName", "Name", Name);
        return status < 0 ? status : kiln::GetChannelName(s, Index, BufferSize, Name);
    });
}

}  // extern "C"
