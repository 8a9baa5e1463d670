// The frame of every exported function: session lookup, the session lock,
// pointer checks, and the guard that keeps exceptions inside the library.
#pragma once

#include <exception>
#include <new>
#include <utility>

#include "QmDC.h"
#include "error_report.h"

namespace kiln {

class DriverSession;

// The driver session behind a handle, or nullptr when the handle is not one of
// the driver's (never issued, disposed of, or without a session attached).
DriverSession* FindSession(ViSession vi);

// Holds the session lock for one framed call; released on every way out.
class SessionLock {
  public:
    explicit SessionLock(ViSession vi);
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    bool Locked() const { return locked_; }
    ViStatus Status() const { return status_; }

  private:
    bool locked_;
    ViSession handle_;
    ViStatus status_;
};

// names: the checked parameters of one function, comma separated, in order.
ViStatus CheckNullPointer(ViSession vi, const char* function, const char* names,
                          const void* pointer);
ViStatus CheckNullPointers(ViSession vi, const char* function, const char* names, const void* first,
                           const void* second);

// Turns an exception that escaped a body into a status recorded on vi. The
// body's own guards (lock, cache, timeout) have been released by unwinding.
ViStatus ReportException(ViSession vi, std::exception_ptr error) noexcept;

template <class Body>
ViStatus Guarded(ViSession vi, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return ReportException(vi, std::current_exception());
    }
}

// Lookup, lock, body(session), unlock.
template <class Body>
ViStatus Framed(ViSession vi, Body&& body) noexcept {
    return Guarded(vi, [&]() -> ViStatus {
        DriverSession* session = FindSession(vi);
        if (session == nullptr) return QMDC_ERROR_INVALID_SESSION_HANDLE;
        SessionLock lock(vi);
        if (!lock.Locked()) return lock.Status();
        return body(*session);
    });
}

}  // namespace kiln
