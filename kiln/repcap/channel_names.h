// The session's physical channel names as the caller sees them: their count
// (an attribute) and each name by its 1-based index.
#pragma once

#include "visatype.h"

namespace kiln {

class DriverSession;

// Getter callback of the channel-count attribute.
ViStatus GetChannelCount(ViSession vi, ViConstString channel, ViInt32* value);

// Body of GetChannelName, under the caller's lock; index is 1-based. A size of
// 0 writes nothing and answers the size the name needs; a negative size is
// refused, since nothing then bounds the caller's buffer.
ViStatus GetChannelName(DriverSession& session, ViInt32 index, ViInt32 bufferSize, ViChar name[]);

}  // namespace kiln
