// api_events.cpp - the event calls. Service requests are the events an
// instrument session can have, where its transport delivers them (HiSLIP,
// VXI-11, USBTMC); other types, and sockets and serial lines, answer
// VI_ERROR_INV_EVENT ("not supported by this resource"), while switching
// everything off (VI_ALL_ENABLED_EVENTS), as a client does before closing,
// succeeds.
#include "api_exports.h"  // first: the exports keep default visibility
#include "api_guard.h"
#include "event_context.h"

using namespace qmdc::visa;

extern "C" {

ViStatus _VI_FUNC viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism,
                                ViEventFilter context) {
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        if (context != VI_NULL) return VI_ERROR_INV_CONTEXT;
        return s.enableEvent(eventType, mechanism);
    });
}

ViStatus _VI_FUNC viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
    return withAnySession(vi, [&](Session& s) { return s.disableEvent(eventType, mechanism); });
}

ViStatus _VI_FUNC viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
    return withAnySession(vi, [&](Session& s) { return s.events().discard(eventType, mechanism); });
}

ViStatus _VI_FUNC viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout,
                                ViPEventType outEventType, ViPEvent outContext) {
    if (outEventType != nullptr) *outEventType = 0;
    if (outContext != nullptr) *outContext = VI_NULL;
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        ViEventType type = 0;
        const ViStatus status = s.events().wait(inEventType, timeout, &type);
        if (status < VI_SUCCESS) return status;
        // Without a place for the context the event is closed at once.
        if (outContext != nullptr) {
            const ViStatus opened = openEventContext(vi, type, outContext);
            if (opened != VI_SUCCESS) return opened;
        }
        if (outEventType != nullptr) *outEventType = type;
        return status;
    });
}

ViStatus _VI_FUNC viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                                   ViAddr userHandle) {
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        if (handler == nullptr) return VI_ERROR_INV_HNDLR_REF;
        return s.events().installHandler(eventType, handler, userHandle);
    });
}

ViStatus _VI_FUNC viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                                     ViAddr userHandle) {
    return withAnySession(vi, [&](Session& s) {
        return s.events().uninstallHandler(eventType, handler, userHandle);
    });
}

}  // extern "C"
