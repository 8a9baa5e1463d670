// Where stores live and which store a location opens.
#pragma once

#include <memory>
#include <string>

#include "store_cache.h"

namespace qmdc::iviconfig {

// The master location: QMDC_IVI_CONFIG_MASTER_OVERRIDE when set and not
// empty, otherwise the system's.
std::string masterLocation();

// Where this system keeps the master store: on POSIX systems the location
// fixed at build time, on Windows the one the registry names
// (master_location_*.cpp).
std::string systemMasterLocation();

// The process default location: IVICONFIGSERVERDEFAULT, empty when unset.
std::string processDefaultLocation();

// Loads the store at `location`, or takes the one kept from an earlier load
// of the unchanged file. The master location without a file there opens the
// built-in store. On failure returns nullptr and sets `error`.
SharedStore loadLocation(const std::string& location, const std::string& master,
                         std::string& error);

}  // namespace qmdc::iviconfig
