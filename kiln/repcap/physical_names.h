// The physical names of the repeated capability, per session: a copy of the
// driver's default list, made the first time a session needs it and dropped
// when the session closes.
#pragma once

#include <memory>

#include "channel_ref.h"
#include "visatype.h"

namespace kiln {

class DriverSession;

using PhysicalNameTable = std::shared_ptr<const ChannelList>;

// The driver's physical names, resolved once from its definition.
const ChannelList& DefaultPhysicalNames();

// The session's table. The process-wide map that owns the tables is touched
// only the first time (under its own lock); afterwards the session's own
// reference answers, so that calls on different sessions share nothing.
const ChannelList& SessionPhysicalNames(DriverSession& session);

// The number of tables alive (for tests of the close hook).
size_t PhysicalNameTableCount();

}  // namespace kiln
