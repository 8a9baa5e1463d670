// event_context.h - the handles of single events: what viWaitOnEvent hands
// out and what a handler is called with. A context is closed with viClose,
// or with the session it came from; it answers VI_ATTR_EVENT_TYPE.
#pragma once

#include "visa.h"

namespace qmdc::visa {

// VI_ERROR_ALLOC when no handle is free.
ViStatus openEventContext(ViSession owner, ViEventType type, ViEvent* out);
bool isEventContext(ViObject vi);
ViStatus closeEventContext(ViObject vi);
void closeEventContextsOf(ViSession owner);
ViStatus getEventAttribute(ViObject vi, ViAttr attr, void* value);

}  // namespace qmdc::visa
