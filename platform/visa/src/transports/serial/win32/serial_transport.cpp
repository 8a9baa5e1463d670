// serial_transport.cpp - serial lines are not supported on Windows: an ASRL
// resource is reported as not present, as GPIB and USB resources are.
#include "transport.h"

namespace qmdc::visa {

std::unique_ptr<Transport> openSerial(const ResourceName&, ViStatus* status) {
    *status = VI_ERROR_RSRC_NFOUND;
    return nullptr;
}

}  // namespace qmdc::visa
