// What a failed open means to a user, by the kind of resource named: a VISA
// library that does not open a kind of resource (USB, GPIB, ...) says so with
// VI_ERROR_NSUP_OPER, or, depending on the library, with "not found" or "not
// a valid name" (which would send a user to check cables); the tool calls all
// of these an unsupported kind of resource.
#pragma once

#include <string>

#include "visatype.h"

namespace qmdc::cli {

// "a USB instrument", ... for a resource name of a kind VISA knows; "" for a
// logical name or anything else.
std::string ResourceKind(const std::string& resource);

// The message for an init that failed with status (description: the
// driver's or VISA's own text, with the code): "cannot open <resource>: ...".
std::string OpenFailureMessage(const std::string& resource, ViStatus status,
                               const std::string& description);

}  // namespace qmdc::cli
