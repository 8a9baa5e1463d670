// master_location_posix.cpp - the master store's place, fixed at build time
// (QMDC_IVI_CONFIG_MASTER, /etc/ivi/IviConfigurationStore.xml by default).
#include "store_location.h"

namespace qmdc::iviconfig {

std::string systemMasterLocation() {
    return QMDC_IVI_CONFIG_MASTER;
}

}  // namespace qmdc::iviconfig
