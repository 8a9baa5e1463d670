// api_exports.h - included first by every file that defines exported VISA
// functions: their declarations in visa.h get default visibility, while the
// rest of the library stays hidden.
#pragma once

#if defined(_WIN32)
#define QMDC_VISA_EXPORTS_BEGIN
#define QMDC_VISA_EXPORTS_END
#else
#define QMDC_VISA_EXPORTS_BEGIN _Pragma("GCC visibility push(default)")
#define QMDC_VISA_EXPORTS_END _Pragma("GCC visibility pop")
#endif

QMDC_VISA_EXPORTS_BEGIN
#include "visa.h"
QMDC_VISA_EXPORTS_END
