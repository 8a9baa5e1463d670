// open_failure.h - why the last viOpen on this thread failed, in words.
//
// A status such as VI_ERROR_RSRC_NFOUND or VI_ERROR_ALLOC says little about
// the cause (a path that is a directory, no descriptor left). The transport
// that fails an open notes the reason here; viOpen traces it and
// viStatusDesc adds it to the status text, so that a program (the driver's
// init) can pass it on.
#pragma once

#include <string>

#include "visatype.h"

namespace qmdc::visa {

// Called by an opener before it fails.
void noteOpenFailure(std::string reason);

// viOpen: forget the last reason before opening; on failure, tie the noted
// reason to the status returned (empty when no transport noted one).
void startOpen();
const std::string& finishFailedOpen(ViStatus status);

// The reason for `status` when the last open on this thread failed with it;
// empty otherwise.
const std::string& openFailureReason(ViStatus status);

}  // namespace qmdc::visa
