// vxi11_unavailable.cpp - VXI-11 in a build without the ONC RPC library
// (the 32-bit Windows one): the resource names parse, and opening one says
// that the library it needs is missing.
#include "transport.h"

namespace qmdc::visa {

std::unique_ptr<Transport> openVxi11(const ResourceName&, ViUInt32, ViStatus* status) {
    *status = VI_ERROR_LIBRARY_NFOUND;
    return nullptr;
}

}  // namespace qmdc::visa
