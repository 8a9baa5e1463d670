// The driver's status codes and their message texts.
#pragma once

#include <string>

#include "visatype.h"

namespace kiln {

// Raw table text of a driver status code (placeholders unfilled); empty when
// the code is not one of the driver's.
const std::string& MessageText(ViStatus code);
bool IsDriverStatus(ViStatus code);

}  // namespace kiln
