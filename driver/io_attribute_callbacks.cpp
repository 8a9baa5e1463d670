#include "io_attribute_callbacks.h"

#include "QmDC.h"
#include "visa.h"
#include "../kiln/session/call_frame.h"
#include "../kiln/session/driver_session.h"

namespace qmdc {
namespace {

ViStatus RefuseInSimulation(kiln::DriverSession& session) {
    return session.ReportErrorWithText(
        QMDC_ERROR_IO_GENERAL, "Direct I/O operations are not available in simulation mode.");
}

}  // namespace

ViStatus GetSystemIoSession(ViSession vi, ViConstString, ViSession* value) {
    return kiln::Framed(vi, [&](kiln::DriverSession& session) -> ViStatus {
        const ViStatus status =
            kiln::CheckNullPointer(vi, "QmDC_get_SYSTEM_IO_SESSION", "AttributeValue", value);
        if (status < 0) return status;
        if (session.GetSimulate()) return RefuseInSimulation(session);
        *value = session.VisaInstrumentSession();
        return VI_SUCCESS;
    });
}

ViStatus GetSystemIoTimeout(ViSession vi, ViConstString, ViInt32* value) {
    return kiln::Framed(vi, [&](kiln::DriverSession& session) -> ViStatus {
        const ViStatus status =
            kiln::CheckNullPointer(vi, "QmDC_get_SYSTEM_IO_TIMEOUT", "AttributeValue", value);
        if (status < 0) return status;
        if (session.GetSimulate()) return RefuseInSimulation(session);
        ViUInt32 timeout = 0;
        const ViStatus read =
            viGetAttribute(session.VisaInstrumentSession(), VI_ATTR_TMO_VALUE, &timeout);
        if (read >= 0) *value = static_cast<ViInt32>(timeout);
        return read;
    });
}

ViStatus SetSystemIoTimeout(ViSession vi, ViConstString, ViInt32 value) {
    return kiln::Framed(vi, [&](kiln::DriverSession& session) -> ViStatus {
        if (session.GetSimulate()) return RefuseInSimulation(session);
        return viSetAttribute(session.VisaInstrumentSession(), VI_ATTR_TMO_VALUE,
                              static_cast<ViUInt32>(value));
    });
}

}  // namespace qmdc
