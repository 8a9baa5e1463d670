// Replaces the VISA I/O timeout of an instrument session for one scope and
// puts the previous value back on every way out.
#pragma once

#include "visatype.h"

namespace kiln {

class IoTimeoutScope {
  public:
    // A timeout of -2 or less leaves the session's timeout alone; -1 is VISA's
    // infinite timeout and is applied like any other value.
    IoTimeoutScope(ViSession session, ViInt32 timeoutMs);
    ~IoTimeoutScope();
    IoTimeoutScope(const IoTimeoutScope&) = delete;
    IoTimeoutScope& operator=(const IoTimeoutScope&) = delete;

  private:
    static constexpr ViInt32 kNothingToRestore = -2;
    ViInt32 previousTimeoutMs;
    ViSession session;
};

}  // namespace kiln
