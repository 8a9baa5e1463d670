// lan_discovery_unavailable.cpp - Windows: no LAN discovery yet; viFindRsrc
// lists the LAN instruments a user names.
#include "lan_discovery.h"

namespace qmdc::visa {

std::vector<std::string> broadcastVxi11(const LanDiscovery&) {
    return {};
}

std::vector<std::string> browseDnsSd(const LanDiscovery&) {
    return {};
}

}  // namespace qmdc::visa
