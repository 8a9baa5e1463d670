#include "error_state.h"

#include <utility>

namespace qmdc::iviconfig {
namespace {

thread_local std::string lastDescription;

}  // namespace

ViStatus setError(ViStatus status, std::string description) noexcept {
    lastDescription = std::move(description);
    return status;
}

ViStatus setError(ViStatus status, const char* description) noexcept {
    try {
        lastDescription = description;
    } catch (...) {
        // Out of memory while reporting: an empty description beats none at all.
        lastDescription.clear();
    }
    return status;
}

void clearError() noexcept {
    lastDescription.clear();
}

const std::string& lastError() noexcept {
    return lastDescription;
}

}  // namespace qmdc::iviconfig
