// trace.h - optional log of every transfer (QMDC_VISA_TRACE).
#pragma once

#include <atomic>
#include <cstddef>

#include "visa.h"

namespace qmdc::visa {

extern std::atomic<bool> g_traceOn;

// Reads QMDC_VISA_TRACE once: a file name (appended to) or "stderr". A file
// that cannot be opened is named on stderr, once, and nothing is traced.
void initTrace();

inline bool traceOn() {
    return g_traceOn.load(std::memory_order_relaxed);
}

// One line: time, resource, direction, the bytes (escaped, `suffix` appended
// when >= 0) and the status.
void traceTransfer(const char* resource, const char* direction, const ViByte* data, size_t len,
                   int suffix, ViStatus status);

}  // namespace qmdc::visa
