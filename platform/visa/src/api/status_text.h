// status_text.h - names and descriptions of the VISA status codes.
#pragma once

#include "visa.h"

namespace qmdc::visa {

struct StatusText {
    ViStatus code;
    const char* name;  // e.g. "VI_ERROR_TMO"
    const char* text;  // one sentence for viStatusDesc
};

// Null for a code this library does not know.
const StatusText* findStatus(ViStatus code);

}  // namespace qmdc::visa
