// The driver sessions the IVI configuration store names for this driver:
// what qmdc panel opens when it is given no resource.
#pragma once

#include <string>
#include <vector>

namespace qmdc::cli {

// Their names, in the store's order; throws a Failure when the store cannot be read.
std::vector<std::string> StoreDriverSessions();

}  // namespace qmdc::cli
