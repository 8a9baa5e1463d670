// The nine exported IviSession_* functions. Each body runs inside Guard so
// that no exception crosses the C interface.
#include <algorithm>
#include <cstring>
#include <new>

#include "IviSession.h"
#include "session_registry.h"

using ivisession::ErrorInfo;
using ivisession::SessionEntry;
using ivisession::SessionRegistry;

namespace {

// Error information stored for VI_NULL belongs to the calling thread.
thread_local ErrorInfo threadError;

template <class Body>
ViStatus Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return IVISESSION_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        return IVISESSION_ERROR_INVALID_SESSION;
    }
}

// Runs body(entry, guard) with the entry's mutex held; fails for an unknown or
// disposed handle.
template <class Body>
ViStatus WithEntry(ViSession vi, Body&& body) {
    return Guard([&]() -> ViStatus {
        auto entry = SessionRegistry::Instance().Find(vi);
        if (!entry) return IVISESSION_ERROR_INVALID_SESSION;
        std::unique_lock<std::mutex> lock(entry->mutex);
        if (entry->disposed) return IVISESSION_ERROR_INVALID_SESSION;
        return body(*entry, lock);
    });
}

// Error information of a handle, or of the calling thread for VI_NULL.
template <class Body>
ViStatus WithError(ViSession vi, Body&& body) {
    if (vi == VI_NULL) return Guard([&] { return body(threadError); });
    return WithEntry(vi,
                     [&](SessionEntry& e, std::unique_lock<std::mutex>&) { return body(e.error); });
}

}  // namespace

extern "C" {

ViStatus _VI_FUNC IviSession_New(ViSession* vi) {
    if (vi == nullptr) return IVISESSION_ERROR_NULL_POINTER;
    *vi = VI_NULL;
    return Guard([&]() -> ViStatus {
        ViSession issued = SessionRegistry::Instance().Issue();
        if (issued == VI_NULL) return IVISESSION_ERROR_HANDLES_EXHAUSTED;
        *vi = issued;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_SetDataPtr(ViSession vi, void* dataPtr) {
    return WithEntry(vi, [&](SessionEntry& e, std::unique_lock<std::mutex>&) {
        e.data = dataPtr;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_GetDataPtr(ViSession vi, void** dataPtr) {
    if (dataPtr == nullptr) return IVISESSION_ERROR_NULL_POINTER;
    return WithEntry(vi, [&](SessionEntry& e, std::unique_lock<std::mutex>&) {
        *dataPtr = e.data;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_Lock(ViSession vi, ViBoolean* callerHasLock) {
    if (callerHasLock != nullptr && *callerHasLock == VI_TRUE) {
        return SessionRegistry::Instance().Find(vi) ? VI_SUCCESS : IVISESSION_ERROR_INVALID_SESSION;
    }
    return WithEntry(vi, [&](SessionEntry& e, std::unique_lock<std::mutex>& lock) -> ViStatus {
        const auto me = std::this_thread::get_id();
        e.released.wait(
            lock, [&] { return e.disposed || e.owner == std::thread::id() || e.owner == me; });
        if (e.disposed) return IVISESSION_ERROR_INVALID_SESSION;
        e.owner = me;
        ++e.depth;
        if (callerHasLock != nullptr) *callerHasLock = VI_TRUE;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_Unlock(ViSession vi, ViBoolean* callerHasLock) {
    if (callerHasLock != nullptr && *callerHasLock == VI_FALSE) {
        return SessionRegistry::Instance().Find(vi) ? VI_SUCCESS : IVISESSION_ERROR_INVALID_SESSION;
    }
    return WithEntry(vi, [&](SessionEntry& e, std::unique_lock<std::mutex>&) -> ViStatus {
        if (e.owner != std::this_thread::get_id() || e.depth == 0) {
            return IVISESSION_ERROR_NOT_LOCK_OWNER;
        }
        if (--e.depth == 0) {
            e.owner = std::thread::id();
            e.released.notify_all();
        }
        if (callerHasLock != nullptr) *callerHasLock = VI_FALSE;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_SetError(ViSession vi, ViStatus code, ViConstString description) {
    return WithError(vi, [&](ErrorInfo& error) {
        error.code = code;
        error.description = description ? description : "";
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_GetError(ViSession vi, ViInt32 bufferSize, ViStatus* code,
                                      ViChar description[]) {
    return WithError(vi, [&](ErrorInfo& error) -> ViStatus {
        // A refused call writes nothing, not even the code.
        if (bufferSize > 0 && description == nullptr) return IVISESSION_ERROR_NULL_POINTER;
        if (code != nullptr) *code = error.code;
        const size_t needed = error.description.size() + 1;
        const ViStatus neededStatus = static_cast<ViStatus>(std::min<size_t>(needed, 0x7FFFFFFF));
        if (bufferSize <= 0) return neededStatus;
        const size_t copied = std::min(error.description.size(), size_t(bufferSize) - 1);
        std::memcpy(description, error.description.data(), copied);
        description[copied] = '\0';
        return needed > size_t(bufferSize) ? neededStatus : VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_ClearError(ViSession vi) {
    return WithError(vi, [&](ErrorInfo& error) {
        error = ErrorInfo();
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC IviSession_Dispose(ViSession vi) {
    return Guard([&]() -> ViStatus {
        auto entry = SessionRegistry::Instance().Remove(vi);
        if (!entry) return IVISESSION_ERROR_INVALID_SESSION;
        std::lock_guard<std::mutex> lock(entry->mutex);
        entry->disposed = true;
        entry->data = nullptr;
        entry->released.notify_all();
        return VI_SUCCESS;
    });
}

}  // extern "C"
