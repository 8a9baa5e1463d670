// Operations on the instrument as a whole: reset, disable, self-test, the
// error queue and direct I/O. Each runs inside the caller's session lock.
#pragma once

#include "visatype.h"

namespace kiln {

class DriverSession;

ViStatus ResetInstrument(DriverSession& session);
ViStatus DisableInstrument(DriverSession& session);
ViStatus SelfTest(DriverSession& session, ViInt16* testResult, ViChar testMessage[]);
ViStatus ErrorQuery(DriverSession& session, ViInt32* errorCode, ViChar errorMessage[]);
ViStatus GetNextError(DriverSession& session, ViInt32 bufferSize, ViChar value[]);

// Direct I/O: count is cut to its low 32 bits, as VISA takes it.
ViStatus DirectWrite(DriverSession& session, ViInt64 count, const ViByte* buffer,
                     ViInt64* returnCount);
ViStatus DirectRead(DriverSession& session, ViInt64 count, ViByte* buffer, ViInt64* returnCount);

}  // namespace kiln
