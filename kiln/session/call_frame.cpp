#include "call_frame.h"

#include <string>
#include <vector>

#include "IviSession.h"

namespace kiln {
namespace {

const char* const kBlanks = " \t\r\n";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The position-th name of a comma-separated parameter list.
std::string ParameterName(const char* names, size_t position) {
    std::string list = names ? names : "";
    size_t start = 0;
    for (size_t i = 0; i < position; ++i) {
        start = list.find(',', start);
        if (start == std::string::npos) return "<unknown parameter>";
        ++start;
    }
    return Trim(list.substr(start, list.find(',', start) - start));
}

ViStatus ReportNullPointer(ViSession vi, const char* function, const char* names, size_t position) {
    return ReportError(vi, QMDC_ERROR_NULL_POINTER,
                       {Trim(function ? function : ""), ParameterName(names, position)});
}

}  // namespace

DriverSession* FindSession(ViSession vi) {
    void* data = nullptr;
    if (IviSession_GetDataPtr(vi, &data) < 0) return nullptr;
    return static_cast<DriverSession*>(data);
}

SessionLock::SessionLock(ViSession vi) : locked_(false), handle_(vi), status_(VI_SUCCESS) {
    status_ = IviSession_Lock(handle_, nullptr);
    locked_ = status_ >= 0;
}

SessionLock::~SessionLock() {
    if (locked_) IviSession_Unlock(handle_, nullptr);
}

ViStatus CheckNullPointer(ViSession vi, const char* function, const char* names,
                          const void* pointer) {
    return pointer ? VI_SUCCESS : ReportNullPointer(vi, function, names, 0);
}

ViStatus CheckNullPointers(ViSession vi, const char* function, const char* names, const void* first,
                           const void* second) {
    if (first == nullptr) return ReportNullPointer(vi, function, names, 0);
    if (second == nullptr) return ReportNullPointer(vi, function, names, 1);
    return VI_SUCCESS;
}

ViStatus ReportException(ViSession vi, std::exception_ptr error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        // Recording a text may need memory too; the code alone is still correct.
        IviSession_SetError(vi, QMDC_ERROR_OUT_OF_MEMORY, "Could not allocate necessary memory.");
        return QMDC_ERROR_OUT_OF_MEMORY;
    } catch (const std::exception& e) {
        try {
            ReportErrorWithText(vi, QMDC_ERROR_CANNOT_RECOVER, "Internal error: %s", {e.what()});
        } catch (...) {
        }
    } catch (...) {
        IviSession_SetError(vi, QMDC_ERROR_CANNOT_RECOVER, "Failure cannot recover.");
    }
    return QMDC_ERROR_CANNOT_RECOVER;
}

}  // namespace kiln
