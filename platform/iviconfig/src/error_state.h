// The description of the calling thread's last failure, as IviConfig_GetError
// reports it. Successful calls do not touch it.
#pragma once

#include <string>

#include "visatype.h"

namespace qmdc::iviconfig {

// Records `description` as the last failure and returns `status`.
ViStatus setError(ViStatus status, std::string description) noexcept;
ViStatus setError(ViStatus status, const char* description) noexcept;
void clearError() noexcept;
const std::string& lastError() noexcept;

}  // namespace qmdc::iviconfig
