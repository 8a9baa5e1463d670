#include "io_timeout_scope.h"

#include "visa.h"

namespace kiln {

IoTimeoutScope::IoTimeoutScope(ViSession session, ViInt32 timeoutMs)
    : previousTimeoutMs(kNothingToRestore), session(session) {
    if (timeoutMs <= kNothingToRestore) return;
    ViUInt32 previous = 0;
    if (viGetAttribute(session, VI_ATTR_TMO_VALUE, &previous) < 0) return;
    previousTimeoutMs = static_cast<ViInt32>(previous);
    viSetAttribute(session, VI_ATTR_TMO_VALUE, static_cast<ViUInt32>(timeoutMs));
}

IoTimeoutScope::~IoTimeoutScope() {
    if (previousTimeoutMs != kNothingToRestore) {
        viSetAttribute(session, VI_ATTR_TMO_VALUE, static_cast<ViUInt32>(previousTimeoutMs));
    }
}

}  // namespace kiln
