// Callbacks of the two direct-I/O attributes: the VISA session the driver
// talks through, and its I/O timeout. Both refuse to work while simulating.
#pragma once

#include "visatype.h"

namespace qmdc {

// QMDC_ATTR_SYSTEM_IO_SESSION (read-only).
ViStatus GetSystemIoSession(ViSession vi, ViConstString channel, ViSession* value);
// QMDC_ATTR_SYSTEM_IO_TIMEOUT, milliseconds; VISA itself judges the value.
ViStatus GetSystemIoTimeout(ViSession vi, ViConstString channel, ViInt32* value);
ViStatus SetSystemIoTimeout(ViSession vi, ViConstString channel, ViInt32 value);

}  // namespace qmdc
