// How strictly values are treated: the invalid-value reports of the
// operations that validate, the coercion record queue, and the refusals of
// interchange checking and of leaving simulation.
#pragma once

#include "visatype.h"

namespace kiln {

class DriverSession;

// 0xBFFA0010 "Invalid value '%s' for function '%s', parameter '%s'." with the
// value in signed decimal, or in fixed notation with six decimals.
ViStatus ReportInvalidValue(DriverSession& session, ViInt32 value, const char* function,
                            const char* parameter);
ViStatus ReportInvalidValue(DriverSession& session, ViInt64 value, const char* function,
                            const char* parameter);
ViStatus ReportInvalidValue(DriverSession& session, ViReal64 value, const char* function,
                            const char* parameter);

// Takes the next coercion record into the caller's buffer (cut to its size).
// Size 0 answers the size the record needs and takes nothing; a negative size
// with a record queued is refused, since nothing bounds the buffer then.
ViStatus GetNextCoercionRecord(DriverSession& session, ViInt32 bufferSize, ViChar record[]);

// Check of the interchange-check option's setter: VI_TRUE is refused when the
// driver does not check interchangeability.
ViStatus RefuseInterchangeCheck(DriverSession& session, ViBoolean value);
// At init, after the options are known: the same refusal for the option string.
ViStatus RefuseInterchangeCheckAtInit(DriverSession& session);

// Check of the simulate option's setter: a session initialised in simulation
// has no connection, so only VI_TRUE is accepted for it.
ViStatus RefuseSimulationChange(DriverSession& session, ViBoolean value);

}  // namespace kiln
