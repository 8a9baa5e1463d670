// find_rsrc.h - what viFindRsrc lists: serial ports, USB instruments, the
// LAN instruments a user names and those LAN discovery finds, filtered by a
// VISA search expression.
#pragma once

// GCC 12 warns, wrongly, about std::function inside <regex> when it inlines
// at -O2 (libstdc++ bug 105562); the warning belongs to the header's lines.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <string>
#include <vector>

#include "lan_discovery.h"
#include "rsrc_name.h"
#include "visa.h"

namespace qmdc::visa {

// Where discovery looks; the defaults are the machine's own. Tests point
// them at a made-up tree.
struct DiscoveryPlaces {
    std::string sysfs;         // $QMDC_VISA_SYSFS, else "/sys"
    std::string resourceList;  // the LAN instruments file (see configuredResources)
    std::string resourceEnv;   // $QMDC_VISA_RESOURCES
    LanDiscovery lan;          // $QMDC_VISA_DISCOVERY_MS, ...
    static DiscoveryPlaces fromEnvironment();
};

// Serial ports: ttyS<n> that are real UARTs (sysfs "type" not 0) as
// ASRL<n+1>::INSTR, every ttyUSB<n> and ttyACM<n> as ASRL/dev/<name>::INSTR.
std::vector<std::string> serialPorts(const std::string& sysfs);
// USB test and measurement class interfaces (class 0xFE, subclass 3) as
// USB0::0xVVVV::0xPPPP::serial::interface::INSTR.
std::vector<std::string> usbInstruments(const std::string& sysfs);
// A USB test and measurement class interface as sysfs describes it.
struct UsbtmcInterface {
    ViUInt16 vendor = 0;   // idVendor
    ViUInt16 product = 0;  // idProduct
    std::string serial;
    unsigned number = 0;  // bInterfaceNumber
    std::string node;     // "/dev/usbtmcN"; "" while the usbtmc driver has not bound it
};
std::vector<UsbtmcInterface> usbtmcInterfaces(const std::string& sysfs);
// The device file of the interface a USB INSTR name designates (ids equal,
// serial exactly equal, the interface number if the name gives one, else
// the device's first USBTMC interface). VI_ERROR_RSRC_NFOUND when none
// matches or the match has no device file.
ViStatus findUsbtmcNode(const std::string& sysfs, const ResourceName& name, std::string* node);
// Names listed in the file (one per line, "#" starts a comment) and in the
// variable (separated by ";" or blanks), in canonical form; names that do
// not parse are left out.
std::vector<std::string> configuredResources(const std::string& file, const std::string& env);
// All of the above, each name once, in that order; then, when `askLan`, the
// LAN instruments discovery finds that were not named.
std::vector<std::string> discoverResources(const DiscoveryPlaces& places, bool askLan);

// A VISA search expression ("?*::INSTR", "ASRL[0-9]*", "TCPIP?*|USB?*") as
// a case-insensitive regular expression over the whole name;
// VI_ERROR_INV_EXPR when it is not one (attribute expressions "{...}" are
// not supported).
ViStatus compileExpression(const char* expr, std::regex* out);

}  // namespace qmdc::visa
