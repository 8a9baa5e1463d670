// Turning a channel argument (a selector) into the physical channels it names:
// lists, ranges, bracketed groups, levels and virtual names, with the
// repeated-capability errors for everything else.
#pragma once

#include <string>
#include <vector>

#include "channel_ref.h"
#include "visatype.h"

namespace kiln {

class DriverSession;

// The most names a resolution without validation gives (a range can name two
// billion); with validation every name is a physical name, so the first one
// that is not ends the resolution, and no limit is needed.
constexpr size_t kMaxSelectorNames = 10000;
// How much longer virtual names may make a selector.
constexpr size_t kMaxVirtualNameGrowth = 1u << 16;

// Resolves selector (null reads as "") for session, which may be null only
// without validation. With validation every name must be one of the session's
// physical names. On failure the error is recorded on the session and out is
// left empty. With validation, a selector that names no channel at all ("[A",
// a bracket that loses its only name) is refused.
ViStatus ResolveSelector(DriverSession* session, ViConstString selector, ChannelList& out,
                         bool validate);

// The full resolution, step by step, without the shortcut for common selectors.
ViStatus ResolveSelectorFully(DriverSession* session, ViConstString selector, ChannelList& out,
                              bool validate);

// The shortcut: a blank selector, or a single name (physical or virtual)
// naming one of the session's physical names. Returns false when the selector
// is anything else, or would fail; the full resolution then decides. When it
// returns true, out is exactly what the full resolution gives.
bool ResolveCommonSelector(DriverSession& session, ViConstString selector, ChannelList& out);
// The same without a copy: the one channel in the session's table, or null.
const ChannelRef* FindCommonSelector(DriverSession& session, ViConstString selector);

// For operations on exactly one channel.
ViStatus ResolveSingleChannel(DriverSession& session, ViConstString selector, ChannelRef& out);

// Validates selector and counts the channels it names, without copying them
// when the shortcut knows the one channel; the status is ResolveSelector's.
ViStatus CountSelectedChannels(DriverSession& session, ViConstString selector, size_t& count);
// The same, refusing a selector that names more than one channel as
// ResolveSingleChannel does.
ViStatus CheckSingleChannel(DriverSession& session, ViConstString selector);

// "OutputChannel!!CH1" for "CH1" (empty for an empty name).
ChannelRef MakeChannelRef(const std::string& name);

}  // namespace kiln
