#include "driver_checks.h"

#include <algorithm>

#include "guarded_text.h"

namespace qmdc_fuzz {

namespace {
constexpr ViInt32 kMaxText = 4096;  // the longest text attribute, terminator included
}

ViStatus CheckStringAttribute(ViSession vi, ViConstString channel, ViAttr id, ViInt32 bufferSize) {
    GuardedText buffer(bufferSize < 0 ? kMaxText : static_cast<size_t>(bufferSize));
    const ViStatus status = QmDC_GetAttributeViString(vi, channel, id, bufferSize, buffer.data());
    buffer.CheckGuards("GetAttributeViString");
    if (bufferSize == 0) {
        FUZZ_CHECK(status == kMaxText || status < 0, "size 0 of attribute %ld gave %ld",
                   static_cast<long>(id), static_cast<long>(status));
        FUZZ_CHECK(buffer.Untouched(), "size 0 of attribute %ld wrote into the buffer",
                   static_cast<long>(id));
        return status;
    }
    if (status < 0) return status;
    const size_t length = buffer.CheckTerminated("GetAttributeViString");
    const size_t room = bufferSize < 0 ? kMaxText : std::min(bufferSize, kMaxText);
    const bool filled = length + 1 == room;
    FUZZ_CHECK(filled == (status == kMaxText),
               "attribute %ld: %zu characters in a buffer of %ld returned %ld",
               static_cast<long>(id), length, static_cast<long>(bufferSize),
               static_cast<long>(status));
    return status;
}

void CheckErrorText(ViSession vi, ViInt32 bufferSize) {
    GuardedText buffer(bufferSize < 0 ? 0 : static_cast<size_t>(bufferSize));
    ViStatus code = 0;
    const ViStatus status = QmDC_GetError(vi, &code, bufferSize, buffer.data());
    buffer.CheckGuards("GetError");
    if (bufferSize <= 0 || status < 0) return;
    // A description that does not fit is cut, and the size it needs returned.
    const size_t length = buffer.CheckTerminated("GetError");
    if (status > 0)
        FUZZ_CHECK(length + 1 == static_cast<size_t>(bufferSize) && status > bufferSize,
                   "GetError cut a description to %zu characters in %ld bytes and returned %ld",
                   length, static_cast<long>(bufferSize), static_cast<long>(status));
}

void CheckFailedInit(ViStatus status, ViSession vi, ViBoolean reset) {
    if (vi != VI_NULL && reset != VI_FALSE) {
        CheckErrorText(vi, 1024);
        CheckClose(vi);
        return;
    }
    FUZZ_CHECK(vi == VI_NULL, "init failed with %ld but gave the handle %lu",
               static_cast<long>(status), static_cast<unsigned long>(vi));
    GuardedText buffer(1024);
    ViStatus code = 0;
    const ViStatus got = QmDC_GetError(VI_NULL, &code, 1024, buffer.data());
    FUZZ_CHECK(got >= 0, "no description of a failed init (%ld)", static_cast<long>(got));
    buffer.CheckTerminated("GetError(VI_NULL)");
}

void CheckClose(ViSession vi) {
    const ViStatus status = QmDC_close(vi);
    FUZZ_CHECK(status == VI_SUCCESS, "close gave %ld", static_cast<long>(status));
}

}  // namespace qmdc_fuzz
