// Exported utility functions: reset, disable, self-test, revision and error
// queries, instrument status, direct I/O.
#include "QmDC.h"
#include "identity.h"
#include "../kiln/io/utility_operations.h"
#include "../kiln/session/call_frame.h"
#include "../kiln/session/driver_session.h"
#include "../kiln/session/text_copy.h"

using kiln::DriverSession;

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_reset(ViSession Vi) {
    return kiln::Framed(Vi, [](DriverSession& s) { return kiln::ResetInstrument(s); });
}

QMDC_API ViStatus QMDC_CALL QmDC_ResetWithDefaults(ViSession Vi) {
    return kiln::Framed(Vi, [](DriverSession& s) {
        const ViStatus status = kiln::ResetInstrument(s);
        if (status < 0) return status;
        s.ResetInherentOptions();
        return status;
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_Disable(ViSession Vi) {
    return kiln::Framed(Vi, [](DriverSession& s) { return kiln::DisableInstrument(s); });
}

QMDC_API ViStatus QMDC_CALL QmDC_self_test(ViSession Vi, ViInt16* TestResult,
                                           ViChar TestMessage[256]) {
    return kiln::Framed(Vi, [&](DriverSession& s) {
        const ViStatus status = kiln::CheckNullPointers(
            Vi, "QmDC_self_test", "TestResult, TestMessage", TestResult, TestMessage);
        return status < 0 ? status : kiln::SelfTest(s, TestResult, TestMessage);
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_revision_query(ViSession Vi, ViChar DriverRev[256],
                                                ViChar InstrRev[256]) {
    return kiln::Framed(Vi, [&](DriverSession& s) -> ViStatus {
        const ViStatus status = kiln::CheckNullPointers(Vi, "QmDC_revision_query",
                                                        "DriverRev, InstrRev", DriverRev, InstrRev);
        if (status < 0) return status;
        kiln::CopyTruncated(kiln::DRIVER_REVISION, kiln::kFixedTextSize, DriverRev);
        kiln::CopyTruncated(kiln::InstrumentFirmwareRevisionText(s), kiln::kFixedTextSize,
                            InstrRev);
        return VI_SUCCESS;
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_error_query(ViSession Vi, ViInt32* ErrorCode,
                                             ViChar ErrorMessage[256]) {
    return kiln::Guarded(Vi, [&]() -> ViStatus {
        DriverSession* session = kiln::FindSession(Vi);
        if (session == nullptr) return QMDC_ERROR_INVALID_SESSION_HANDLE;
        // The pointers are checked before the lock is taken.
        const ViStatus status = kiln::CheckNullPointers(
            Vi, "QmDC_error_query", "ErrorCode, ErrorMessage", ErrorCode, ErrorMessage);
        if (status < 0) return status;
        kiln::SessionLock lock(Vi);
        if (!lock.Locked()) return lock.Status();
        return kiln::ErrorQuery(*session, ErrorCode, ErrorMessage);
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_GetNextError(ViSession Vi, ViInt32 BufferSize, ViChar Val[]) {
    return kiln::Framed(Vi, [&](DriverSession& s) {
        const ViStatus status = kiln::CheckNullPointer(Vi, "QmDC_GetNextError", "Val", Val);
        return status < 0 ? status : kiln::GetNextError(s, BufferSize, Val);
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_ClearStatus(ViSession Vi) {
    return kiln::Framed(Vi, [](DriverSession& s) { return s.ClearStatus(); });
}

QMDC_API ViStatus QMDC_CALL QmDC_viWrite(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                         ViInt64* ReturnCount) {
    return kiln::Framed(Vi, [&](DriverSession& s) {
        const ViStatus status = kiln::CheckNullPointer(Vi, "QmDC_viWrite", "Buffer", Buffer);
        return status < 0 ? status : kiln::DirectWrite(s, BufferSize, Buffer, ReturnCount);
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_viRead(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                        ViInt64* ReturnCount) {
    return kiln::Framed(Vi, [&](DriverSession& s) {
        const ViStatus status = kiln::CheckNullPointer(Vi, "QmDC_viRead", "Buffer", Buffer);
        return status < 0 ? status : kiln::DirectRead(s, BufferSize, Buffer, ReturnCount);
    });
}

}  // extern "C"
