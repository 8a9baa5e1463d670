// fmt_print.h - the viPrintf formatter.
#pragma once

#include <cstdarg>
#include <string>

#include "visa.h"

namespace qmdc::visa {

// Appends `fmt` with its arguments (taken from *ap, which is advanced) to
// `out`. The format is checked first: on an error nothing is appended.
ViStatus printFormat(std::string& out, const char* fmt, va_list* ap);

}  // namespace qmdc::visa
