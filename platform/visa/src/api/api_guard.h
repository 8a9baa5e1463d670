// api_guard.h - what every exported VISA function runs its body in: a guard
// so that no C++ exception leaves the library, the handle lookup, and the
// lock check of calls that touch the instrument.
#pragma once

#include <new>

#include "handle_table.h"
#include "lock_table.h"
#include "session.h"

namespace qmdc::visa {

template <class F>
ViStatus guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return VI_ERROR_ALLOC;
    } catch (...) {
        return VI_ERROR_SYSTEM_ERROR;
    }
}

// Runs `body` on the instrument session `vi`, whoever holds a lock on it
// (attributes, locks, events).
template <class F>
ViStatus withAnySession(ViSession vi, F&& body) noexcept {
    return guarded([&]() -> ViStatus {
        HandleTable& table = HandleTable::instance();
        const std::shared_ptr<Session> session = table.find(vi);
        if (session) return body(*session);
        return table.isResourceManager(vi) ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_OBJECT;
    });
}

// Runs `body` on the instrument session `vi` unless another session's lock
// keeps it from the resource (VI_ERROR_RSRC_LOCKED).
template <class F>
ViStatus withSession(ViSession vi, F&& body) noexcept {
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        const ViStatus access = LockTable::instance().access(s.services.lockKey, vi);
        return access == VI_SUCCESS ? body(s) : access;
    });
}

}  // namespace qmdc::visa
