#include "session_lifecycle.h"

#include <mutex>
#include <set>
#include <vector>

#include "IviSession.h"
#include "QmDC.h"
#include "visa.h"
#include "../attributes/value_checks.h"
#include "../session/call_frame.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

std::mutex hooksMutex;
std::vector<std::function<void(ViSession)>>& SessionCloseHooks() {
    static std::vector<std::function<void(ViSession)>> hooks;
    return hooks;
}

// The handles a close is working on. Only the close that claims a handle may
// touch its session before taking the session lock (to end a call in flight),
// and only it deletes the session: a second close of the same handle at the
// same moment (a watchdog thread and the main thread) must not reach a
// session the first is freeing.
class CloseClaim {
  public:
    explicit CloseClaim(ViSession vi) : vi_(vi) {
        std::lock_guard<std::mutex> lock(Mutex());
        owned_ = Handles().insert(vi).second;
    }
    ~CloseClaim() {
        if (!owned_) return;
        std::lock_guard<std::mutex> lock(Mutex());
        Handles().erase(vi_);
    }
    CloseClaim(const CloseClaim&) = delete;
    CloseClaim& operator=(const CloseClaim&) = delete;

    bool Owned() const { return owned_; }

  private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::set<ViSession>& Handles() {
        static std::set<ViSession> handles;
        return handles;
    }
    ViSession vi_;
    bool owned_ = false;
};

// Init steps after the session is attached to its handle.
ViStatus InitializeSession(DriverSession& session, const std::string& resourceName,
                           ViBoolean idQuery, ViBoolean reset, const std::string& options) {
    session.SetInitArguments(resourceName, idQuery == VI_TRUE, reset == VI_TRUE, options);
    ViStatus status = session.ResolveSession(resourceName, options);
    if (status < 0) return status;
    status = RefuseInterchangeCheckAtInit(session);
    if (status < 0) return status;
    status = session.OpenIo();
    if (status < 0) return status;

    if (session.GetQueryInstrStatus()) status = session.ClearStatus();
    if (status >= 0) {
        status = session.QueryIdentity(session.InstrumentManufacturer(), session.InstrumentModel(),
                                       session.InstrumentSerialNumber(),
                                       session.InstrumentFirmwareRevision());
    }
    if (status >= 0 && session.IdQueryRequested() && !session.IsModelSupported()) {
        status = session.ReportErrorWithText(QMDC_ERROR_ID_QUERY_FAILED, "Unrecognized model: %s",
                                             {session.GetInstrumentModel()});
    }
    if (status < 0) session.CloseIo();
    return status;
}

// The failure's description was stored on the handle that is about to go;
// keep it readable through VI_NULL on this thread. A VISA failure stores
// nothing on the handle, so VISA's own text for the status stands in, rather
// than whatever an earlier failure left there.
void KeepFailureDescription(ViSession vi, ViStatus failure) {
    ViStatus code = 0;
    const ViStatus size = IviSession_GetError(vi, 0, &code, nullptr);
    if (size > 0 && code != 0) {
        std::string description(static_cast<size_t>(size), '\0');
        IviSession_GetError(vi, size, &code, &description[0]);
        IviSession_SetError(VI_NULL, code, description.c_str());
        return;
    }
    ViChar visaText[256] = {};
    if (viStatusDesc(VI_NULL, failure, visaText) < 0) visaText[0] = '\0';
    IviSession_SetError(VI_NULL, failure, visaText);
}

}  // namespace

ViStatus CreateSession(const char* resourceName, ViBoolean idQuery, ViBoolean reset,
                       const char* optionString, ViSession* vi, const SessionFactory& factory) {
    if (vi == nullptr) return QMDC_ERROR_NULL_POINTER;
    *vi = VI_NULL;
    ViSession handle = VI_NULL;
    ViStatus status = IviSession_New(&handle);
    if (status < 0) return status;
    status = Guarded(handle, [&]() -> ViStatus {
        std::unique_ptr<DriverSession> session = factory(handle);
        ViStatus result = IviSession_SetDataPtr(handle, session.get());
        if (result < 0) return result;
        result = InitializeSession(*session, resourceName ? resourceName : "", idQuery, reset,
                                   optionString ? optionString : "");
        if (result < 0) {
            IviSession_SetDataPtr(handle, nullptr);
            return result;
        }
        session.release();  // owned by the handle from now on
        return result;
    });
    if (status < 0) {
        KeepFailureDescription(handle, status);
        IviSession_Dispose(handle);
        return status;
    }
    *vi = handle;
    return status;
}

ViStatus CloseSession(ViSession vi) {
    return Guarded(vi, [&]() -> ViStatus {
        // Claimed before the first look at the session, released after the
        // handle is gone: a close that loses the claim finds nothing to close.
        const CloseClaim claim(vi);
        if (!claim.Owned() || FindSession(vi) == nullptr) return QMDC_ERROR_INVALID_SESSION_HANDLE;
        std::vector<std::function<void(ViSession)>> hooks;
        {
            std::lock_guard<std::mutex> lock(hooksMutex);
            hooks = SessionCloseHooks();
        }
        for (const auto& hook : hooks) hook(vi);

        // A call in flight on another thread may wait for an instrument that
        // never answers: its I/O ends now. Then wait for that call (and for a
        // thread holding the session lock) to finish; later callers find no
        // session and get the invalid-handle status.
        if (DriverSession* running = FindSession(vi)) running->InterruptIo();
        SessionLock lock(vi);
        std::unique_ptr<DriverSession> session(FindSession(vi));
        if (session == nullptr) return QMDC_ERROR_INVALID_SESSION_HANDLE;
        IviSession_SetDataPtr(vi, nullptr);
        session->Close();
        session.reset();
        return IviSession_Dispose(vi);
    });
}

void AddSessionCloseHook(std::function<void(ViSession)> hook) {
    std::lock_guard<std::mutex> lock(hooksMutex);
    SessionCloseHooks().push_back(std::move(hook));
}

}  // namespace kiln
