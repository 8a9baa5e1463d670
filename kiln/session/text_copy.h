// Truncating copies of texts into callers' buffers.
#pragma once

#include <cstring>
#include <string>

#include "visatype.h"

namespace kiln {

// Copies at most bufferSize - 1 characters and the terminator; a size of 0 or
// less, or a null buffer, writes nothing.
inline void CopyTruncated(const std::string& text, ViInt32 bufferSize, ViChar* buffer) {
    if (buffer == nullptr || bufferSize <= 0) return;
    const size_t copied = std::min(text.size(), static_cast<size_t>(bufferSize) - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
}

// The IVI fixed-size text outputs hold 256 bytes.
constexpr ViInt32 kFixedTextSize = 256;

}  // namespace kiln
