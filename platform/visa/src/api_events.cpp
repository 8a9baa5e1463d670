// api_events.cpp - the event calls. The interfaces this library opens
// (sockets, serial lines) deliver no events: every event type answers
// VI_ERROR_INV_EVENT ("not supported by this resource"), while the calls a
// client makes to switch events off before closing (VI_ALL_ENABLED_EVENTS)
// succeed as they do for a session with nothing enabled.
#include "api_exports.h"  // first: the exports keep default visibility
#include "api_guard.h"

using namespace qmdc::visa;

namespace {

// Whether this session can have events of `type`: none of the interfaces
// here delivers any, so the answer is VI_ERROR_INV_EVENT for every type.
ViStatus checkEventType(ViEventType) {
    return VI_ERROR_INV_EVENT;
}

ViStatus checkMechanism(ViUInt16 mechanism) {
    const unsigned known = VI_QUEUE | VI_HNDLR | VI_SUSPEND_HNDLR;
    return mechanism == VI_ALL_MECH || (mechanism != 0 && !(mechanism & ~known))
               ? VI_SUCCESS
               : VI_ERROR_INV_MECH;
}

// viDisableEvent / viDiscardEvents: `done` is what they answer when the
// session has nothing enabled or queued.
ViStatus switchOff(ViSession vi, ViEventType type, ViUInt16 mechanism, ViStatus done) {
    return withAnySession(vi, [&](Session&) -> ViStatus {
        const ViStatus mech = checkMechanism(mechanism);
        if (mech != VI_SUCCESS) return mech;
        return type == VI_ALL_ENABLED_EVENTS ? done : checkEventType(type);
    });
}

}  // namespace

extern "C" {

ViStatus _VI_FUNC viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism,
                                ViEventFilter context) {
    return withAnySession(vi, [&](Session&) -> ViStatus {
        if (context != VI_NULL) return VI_ERROR_INV_CONTEXT;
        if (mechanism == VI_ALL_MECH || checkMechanism(mechanism) != VI_SUCCESS ||
            ((mechanism & VI_HNDLR) && (mechanism & VI_SUSPEND_HNDLR)))
            return VI_ERROR_INV_MECH;
        return checkEventType(eventType);
    });
}

ViStatus _VI_FUNC viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
    return switchOff(vi, eventType, mechanism, VI_SUCCESS_EVENT_DIS);
}

ViStatus _VI_FUNC viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism) {
    return switchOff(vi, eventType, mechanism, VI_SUCCESS_QUEUE_EMPTY);
}

ViStatus _VI_FUNC viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32,
                                ViPEventType outEventType, ViPEvent outContext) {
    if (outEventType != nullptr) *outEventType = 0;
    if (outContext != nullptr) *outContext = VI_NULL;
    return withAnySession(vi, [&](Session&) -> ViStatus {
        // Nothing can be enabled, so nothing can be waited for.
        return inEventType == VI_ALL_ENABLED_EVENTS ? VI_ERROR_NENABLED
                                                    : checkEventType(inEventType);
    });
}

ViStatus _VI_FUNC viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr) {
    return withAnySession(vi, [&](Session&) -> ViStatus {
        if (handler == nullptr) return VI_ERROR_INV_HNDLR_REF;
        return checkEventType(eventType);
    });
}

ViStatus _VI_FUNC viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr, ViAddr) {
    return withAnySession(vi, [&](Session&) { return checkEventType(eventType); });
}

}  // extern "C"
