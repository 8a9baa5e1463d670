// api_services.h - the parts of the exported functions that live in files of
// their own (attributes of the services, sessions with locks, find lists).
#pragma once

#include <memory>

#include "rsrc_name.h"
#include "session.h"
#include "visa.h"

namespace qmdc::visa {

// Not a status of visa.h: the attribute is not one of the services' and
// goes to the session.
constexpr ViStatus kNotAServiceAttribute = 1;

ViStatus getManagerAttribute(ViAttr attr, void* value);
ViStatus getServiceAttribute(Session& s, ViAttr attr, void* value);
ViStatus setServiceAttribute(Session& s, ViAttr attr, ViAttrState value);

// Registers a freshly opened session and takes the lock `mode` asks for
// within `timeoutMs`; VI_ERROR_RSRC_LOCKED (and no session) when another
// session's lock stands in the way.
ViStatus addSession(ViSession rm, std::shared_ptr<Session> session, const ResourceName& name,
                    ViAccessMode mode, ViUInt32 timeoutMs, ViSession* vi);

bool isFindList(ViObject vi);
ViStatus closeFindList(ViObject vi);
void closeFindListsOf(ViSession rm);

}  // namespace qmdc::visa
