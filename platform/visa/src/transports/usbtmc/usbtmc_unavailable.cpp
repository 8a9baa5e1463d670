// usbtmc_unavailable.cpp - USB instruments where there is no kernel usbtmc
// driver (Windows): the resource names parse, and opening one says that
// this library does not open that kind of resource here.
#include "transport.h"

namespace qmdc::visa {

std::unique_ptr<Transport> openUsbtmc(const ResourceName&, ViStatus* status) {
    *status = kUnsupportedKind;
    return nullptr;
}

}  // namespace qmdc::visa
