// no_transports.cpp - Windows has no socket or serial transport yet: the
// library builds and links, and every open says so.
#include "transport.h"

namespace qmdc::visa {

std::unique_ptr<Transport> openTcpSocket(const ResourceName&, ViUInt32, ViStatus* status) {
    *status = VI_ERROR_NIMPL_OPER;
    return nullptr;
}

std::unique_ptr<Transport> openSerial(const ResourceName&, ViStatus* status) {
    *status = VI_ERROR_NIMPL_OPER;
    return nullptr;
}

}  // namespace qmdc::visa
