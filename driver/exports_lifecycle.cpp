// init, InitWithOptions and close.
#include <memory>

#include "QmDC.h"
#include "orvane_session.h"
#include "../kiln/lifecycle/session_lifecycle.h"

namespace {

// Every session is built with the same timeouts: 2000 ms to open the
// connection, 10000 ms for a self-test and for a reset or disable.
std::unique_ptr<kiln::DriverSession> NewOrvaneSession(ViSession handle) {
    return std::make_unique<OrvaneDCDriverSession>(handle, 2000, 10000, 10000, false, 1000);
}

}  // namespace

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_InitWithOptions(ViRsrc ResourceName, ViBoolean IdQuery,
                                                 ViBoolean Reset, ViConstString OptionString,
                                                 ViSession* Vi) {
    ViStatus status =
        kiln::CreateSession(ResourceName, IdQuery, Reset, OptionString, Vi, NewOrvaneSession);
    if (status >= 0 && Reset != VI_FALSE) status = QmDC_reset(*Vi);
    return status;
}

QMDC_API ViStatus QMDC_CALL QmDC_init(ViRsrc ResourceName, ViBoolean IdQuery, ViBoolean Reset,
                                      ViSession* Vi) {
    return QmDC_InitWithOptions(ResourceName, IdQuery, Reset, "", Vi);
}

QMDC_API ViStatus QMDC_CALL QmDC_close(ViSession Vi) {
    return kiln::CloseSession(Vi);
}

}  // extern "C"
