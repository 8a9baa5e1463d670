// The driver sessions the IVI configuration store names for this driver:
// what qmdc panel and qmdc exporter open when they are given no resource.
// The store is found and read as the driver finds it at init.
#pragma once

#include <string>
#include <vector>

namespace qmdc::cli {

// Their names, in the store's order; throws a Failure when the store cannot be read.
std::vector<std::string> StoreDriverSessions();

}  // namespace qmdc::cli
