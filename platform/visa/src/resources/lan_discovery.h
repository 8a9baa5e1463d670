// lan_discovery.h - LAN instruments nobody named: VXI-11 servers whose
// portmapper answers a broadcast question, and, where an mDNS daemon (avahi)
// runs, instruments that announce themselves over DNS-SD. Both are asked at
// once and answers are taken for a bounded time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmdc::visa {

struct LanDiscovery {
    unsigned timeoutMs = 1000;      // $QMDC_VISA_DISCOVERY_MS; 0: none at all
    uint16_t portmapperPort = 111;  // $QMDC_VISA_PORTMAPPER_PORT (tests use another)
    static constexpr unsigned kMaxTimeoutMs = 60000;
    static LanDiscovery fromEnvironment();
};

// PMAPPROC_GETPORT for the VXI-11 core channel, sent over UDP to the
// broadcast address of every IPv4 interface and to the loopback network;
// "TCPIP0::a.b.c.d::inst0::INSTR" for every address that answers with a
// port, in address order. Answers are taken until the time is up.
std::vector<std::string> broadcastVxi11(const LanDiscovery& how);

// DNS-SD through libavahi-client, loaded when first needed (no avahi, no
// daemon or no system bus: nothing found): _vxi-11._tcp and _lxi._tcp as
// VXI-11 INSTR names, _hislip._tcp as "TCPIP0::a.b.c.d::hislip0[,port]::INSTR",
// _scpi-raw._tcp as "TCPIP0::a.b.c.d::port::SOCKET" (IPv4 addresses), sorted.
// Ends early once the daemon has told all it knows.
std::vector<std::string> browseDnsSd(const LanDiscovery& how);

// The resource name a DNS-SD service type announces, "" for another type.
std::string dnsSdResourceName(const std::string& type, const std::string& address, uint16_t port);

// Both, asked at once; each name once.
std::vector<std::string> discoverLanInstruments(const LanDiscovery& how);

// Whether a search expression may match a TCPIP name: false when its first
// literal characters are not the start of "TCPIP" ("ASRL?*", "USB?*"), so
// that listing other kinds never waits for the network.
bool mayMatchLanName(const char* expr);

}  // namespace qmdc::visa
