/*
 * IviSession.h - IVI shared session services: session handles, the
 * per-session lock and the per-session error information.
 *
 * These are the nine functions an IVI-C specific driver imports from the IVI
 * shared components. This library (libqmdcivisession) is a small stand-in for
 * them; a vendor's implementation with the same functions can be linked in
 * its place. Every function returns a ViStatus, negative on failure.
 *
 * Behaviour of this implementation:
 *   - Handles are never reused within a process: a stale handle is always
 *     rejected with IVISESSION_ERROR_INVALID_SESSION, never mistaken for a
 *     newer session. Handle 0 (VI_NULL) is never issued.
 *   - IviSession_Lock blocks until the calling thread owns the session lock.
 *     The lock is recursive per thread; every Lock needs one Unlock.
 *   - The caller-has-lock flag, when given (not NULL), makes Lock and Unlock
 *     idempotent for that caller: Lock with *flag == VI_TRUE and Unlock with
 *     *flag == VI_FALSE do nothing; otherwise the call locks or unlocks once
 *     and sets the flag accordingly.
 *   - Unlock by a thread that does not own the lock fails with
 *     IVISESSION_ERROR_NOT_LOCK_OWNER and changes nothing.
 *   - Disposing of a handle wakes every thread waiting for its lock; they get
 *     IVISESSION_ERROR_INVALID_SESSION. A thread inside a call on the handle
 *     is not disturbed: its later Unlock fails with the same status. Nothing
 *     is freed while a call is still using it.
 *   - Error information is kept per session; for VI_NULL it is kept per
 *     thread, so a caller can read why an init failed when no handle came
 *     back. SetError replaces what was stored; GetError does not clear it.
 *   - IviSession_GetError(vi, bufferSize, code, description): code may be
 *     NULL. With no error stored the code is 0 and the description empty.
 *     bufferSize 0 (description may then be NULL) returns the size needed,
 *     terminator included, and writes no text. A buffer that is too small gets
 *     a truncated, terminated text and the size needed is returned. When the
 *     text fits, 0 is returned. A negative bufferSize is treated like 0: the
 *     size is returned and nothing is written.
 */
#ifndef IVISESSION_HEADER
#define IVISESSION_HEADER

#include "visatype.h"

#if defined(__cplusplus)
extern "C" {
#endif

#if defined(_WIN32)
#if defined(IVISESSION_BUILDING)
#define IVISESSION_API __declspec(dllexport)
#else
#define IVISESSION_API __declspec(dllimport)
#endif
#else
#define IVISESSION_API __attribute__((visibility("default")))
#endif

/* Status codes of the session services. */
#define IVISESSION_ERROR_INVALID_SESSION ((ViStatus)0xBFFA1190L)
#define IVISESSION_ERROR_OUT_OF_MEMORY ((ViStatus)0xBFFA0056L)
#define IVISESSION_ERROR_NULL_POINTER ((ViStatus)0xBFFA0058L)
#define IVISESSION_ERROR_NOT_LOCK_OWNER ((ViStatus)0xBFFA1192L)
#define IVISESSION_ERROR_HANDLES_EXHAUSTED ((ViStatus)0xBFFA1193L)

IVISESSION_API ViStatus _VI_FUNC IviSession_New(ViSession* vi);
IVISESSION_API ViStatus _VI_FUNC IviSession_SetDataPtr(ViSession vi, void* dataPtr);
IVISESSION_API ViStatus _VI_FUNC IviSession_GetDataPtr(ViSession vi, void** dataPtr);
IVISESSION_API ViStatus _VI_FUNC IviSession_Lock(ViSession vi, ViBoolean* callerHasLock);
IVISESSION_API ViStatus _VI_FUNC IviSession_Unlock(ViSession vi, ViBoolean* callerHasLock);
IVISESSION_API ViStatus _VI_FUNC IviSession_SetError(ViSession vi, ViStatus code,
                                                     ViConstString description);
IVISESSION_API ViStatus _VI_FUNC IviSession_GetError(ViSession vi, ViInt32 bufferSize,
                                                     ViStatus* code, ViChar description[]);
IVISESSION_API ViStatus _VI_FUNC IviSession_ClearError(ViSession vi);
IVISESSION_API ViStatus _VI_FUNC IviSession_Dispose(ViSession vi);

#if defined(__cplusplus)
}
#endif

#endif /* IVISESSION_HEADER */
