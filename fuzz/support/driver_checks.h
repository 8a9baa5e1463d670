// Checks of the driver's text outputs shared by the targets that hold a
// session: each call gets a guarded buffer and its result is held to the
// rules of the typed functions and of the error information.
#pragma once

#include "QmDC.h"

namespace qmdc_fuzz {

// QmDC_GetAttributeViString into a guarded buffer of bufferSize bytes (a
// negative size gets a buffer of 4096, as the getter then assumes). Aborts
// when the text overruns, is unterminated, or the result breaks the size
// rule (4096 exactly when the text filled the buffer). Returns the status.
ViStatus CheckStringAttribute(ViSession vi, ViConstString channel, ViAttr id, ViInt32 bufferSize);

// QmDC_GetError into a guarded buffer of bufferSize bytes; aborts when the
// description overruns or is unterminated.
void CheckErrorText(ViSession vi, ViInt32 bufferSize);

// After a failed init: no handle and a description readable through VI_NULL;
// or, when the reset asked for at init failed, an open session (closed here).
void CheckFailedInit(ViStatus status, ViSession vi, ViBoolean reset);

// QmDC_close on a session init opened: it must succeed.
void CheckClose(ViSession vi);

}  // namespace qmdc_fuzz
