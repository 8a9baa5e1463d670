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

// Direct I/O. VISA moves at most 2^32 - 1 bytes in one call: a count outside
// 0 .. 2^32 - 1 cannot be the size of the caller's buffer and is refused
// (0xBFFA0010), before the simulation refusal, as any bad argument is.
ViStatus DirectWrite(DriverSession& session, ViInt64 count, const ViByte* buffer,
                     ViInt64* returnCount);
ViStatus DirectRead(DriverSession& session, ViInt64 count, ViByte* buffer, ViInt64* returnCount);

}  // namespace kiln
