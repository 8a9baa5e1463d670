// find_rsrc.cpp - discovery through sysfs and the user's list of LAN
// instruments, and VISA search expressions. Nothing here sends a byte to a
// device or a packet to the network (lan_discovery.h does).
#include "find_rsrc.h"  // first: it includes <regex> its own way

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rsrc_name.h"

namespace qmdc::visa {

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

// First line of a sysfs attribute, without blanks around it; "" if absent.
std::string readAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!line.empty() && blank(line.back())) line.pop_back();
    return line;
}

// Directory entries sorted by name, so the list comes out the same each time.
std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;  // ttyS2 before ttyS10
    });
    return names;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

DiscoveryPlaces DiscoveryPlaces::fromEnvironment() {
    DiscoveryPlaces p;
    p.sysfs = env("QMDC_VISA_SYSFS");
    if (p.sysfs.empty()) p.sysfs = "/sys";
    p.resourceList = env("QMDC_VISA_RESOURCES_FILE");
    if (p.resourceList.empty()) {
        const std::string config = env("XDG_CONFIG_HOME");
        const std::string home = env("HOME");
        if (!config.empty())
            p.resourceList = config + "/qmdc/visa-resources";
        else if (!home.empty())
            p.resourceList = home + "/.config/qmdc/visa-resources";
    }
    p.resourceEnv = env("QMDC_VISA_RESOURCES");
    p.lan = LanDiscovery::fromEnvironment();
    return p;
}

std::vector<std::string> serialPorts(const std::string& sysfs) {
    std::vector<std::string> names;
    const fs::path tty = fs::path(sysfs) / "class" / "tty";
    for (const std::string& e : entries(tty)) {
        if (startsWith(e, "ttyS") && allDigits(e.substr(4))) {
            // The 8250 driver registers ports that have no UART behind them:
            // their type is 0 (PORT_UNKNOWN).
            const std::string type = readAttribute(tty / e / "type");
            if (type.empty() || type == "0") continue;
            names.push_back("ASRL" + std::to_string(std::stoul(e.substr(4)) + 1) + "::INSTR");
        } else if ((startsWith(e, "ttyUSB") && allDigits(e.substr(6))) ||
                   (startsWith(e, "ttyACM") && allDigits(e.substr(6)))) {
            names.push_back("ASRL/dev/" + e + "::INSTR");
        }
    }
    return names;
}

std::vector<UsbtmcInterface> usbtmcInterfaces(const std::string& sysfs) {
    std::vector<UsbtmcInterface> found;
    const fs::path devices = fs::path(sysfs) / "bus" / "usb" / "devices";
    const auto hex = [](const std::string& text, unsigned long max, unsigned long* out) {
        char* end = nullptr;
        *out = std::strtoul(text.c_str(), &end, 16);
        return !text.empty() && *end == '\0' && *out <= max;
    };
    for (const std::string& e : entries(devices)) {
        // Interfaces are named <device>:<configuration>.<interface>.
        const size_t colon = e.find(':');
        if (colon == std::string::npos) continue;
        const fs::path intf = devices / e;
        if (readAttribute(intf / "bInterfaceClass") != "fe" ||
            readAttribute(intf / "bInterfaceSubClass") != "03")
            continue;
        const fs::path device = devices / e.substr(0, colon);
        UsbtmcInterface found1;
        unsigned long vendor = 0, product = 0, number = 0;
        found1.serial = readAttribute(device / "serial");
        if (!hex(readAttribute(device / "idVendor"), 0xFFFF, &vendor) ||
            !hex(readAttribute(device / "idProduct"), 0xFFFF, &product) ||
            !hex(readAttribute(intf / "bInterfaceNumber"), 0xFF, &number) || found1.serial.empty())
            continue;
        found1.vendor = static_cast<ViUInt16>(vendor);
        found1.product = static_cast<ViUInt16>(product);
        found1.number = static_cast<unsigned>(number);
        // The driver's device file appears under its class: usbmisc, or usb
        // on older kernels.
        for (const char* cls : {"usbmisc", "usb"})
            for (const std::string& n : entries(intf / cls))
                if (found1.node.empty() && startsWith(n, "usbtmc") && allDigits(n.substr(6)))
                    found1.node = "/dev/" + n;
        found.push_back(std::move(found1));
    }
    return found;
}

std::vector<std::string> usbInstruments(const std::string& sysfs) {
    std::vector<std::string> names;
    for (const UsbtmcInterface& i : usbtmcInterfaces(sysfs)) {
        char ids[32];
        std::snprintf(ids, sizeof ids, "USB0::0x%04X::0x%04X::", static_cast<unsigned>(i.vendor),
                      static_cast<unsigned>(i.product));
        const std::string name = ids + i.serial + "::" + std::to_string(i.number) + "::INSTR";
        ResourceName parsed;
        // A serial number with "::" in it would not name this interface. The
        // canonical form is the one viOpen and VI_ATTR_RSRC_NAME give.
        if (parseResourceName(name.c_str(), &parsed) == VI_SUCCESS && parsed.usbSerial == i.serial)
            names.push_back(parsed.canonical);
    }
    return names;
}

ViStatus findUsbtmcNode(const std::string& sysfs, const ResourceName& name, std::string* node) {
    for (const UsbtmcInterface& i : usbtmcInterfaces(sysfs)) {
        if (i.vendor != name.usbVendor || i.product != name.usbProduct ||
            i.serial != name.usbSerial)
            continue;
        if (name.usbInterface >= 0 && i.number != static_cast<unsigned>(name.usbInterface))
            continue;
        if (i.node.empty()) return VI_ERROR_RSRC_NFOUND;  // no driver bound to it
        *node = i.node;
        return VI_SUCCESS;
    }
    return VI_ERROR_RSRC_NFOUND;
}

std::vector<std::string> configuredResources(const std::string& file, const std::string& env) {
    std::vector<std::string> names;
    const auto take = [&names](std::string word) {
        ResourceName parsed;
        const ViStatus status = parseResourceName(word.c_str(), &parsed);
        if (status == VI_SUCCESS || status == kUnsupportedKind) names.push_back(parsed.canonical);
    };
    if (!file.empty()) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            line = line.substr(0, line.find('#'));
            std::istringstream words(line);
            for (std::string w; words >> w;) take(w);
        }
    }
    std::string list = env;
    std::replace(list.begin(), list.end(), ';', ' ');
    std::istringstream words(list);
    for (std::string w; words >> w;) take(w);
    return names;
}

std::vector<std::string> discoverResources(const DiscoveryPlaces& places, bool askLan) {
    std::vector<std::string> all;
    for (const auto& part :
         {serialPorts(places.sysfs), usbInstruments(places.sysfs),
          configuredResources(places.resourceList, places.resourceEnv),
          askLan ? discoverLanInstruments(places.lan) : std::vector<std::string>{}})
        for (const std::string& name : part)
            if (std::find(all.begin(), all.end(), name) == all.end()) all.push_back(name);
    return all;
}

ViStatus compileExpression(const char* expr, std::regex* out) {
    if (expr == nullptr || *expr == '\0') return VI_ERROR_INV_EXPR;
    std::string pattern;
    bool inSet = false;
    for (const char* p = expr; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '\\') {
            if (p[1] == '\0') return VI_ERROR_INV_EXPR;
            const char escaped = *++p;
            if (!std::isalnum(static_cast<unsigned char>(escaped))) pattern += '\\';
            pattern += escaped;  // "\d" is a "d" in VISA, not a digit class
        } else if (inSet) {
            if (c == ']') inSet = false;
            pattern += c;
        } else if (c == '[') {
            inSet = true;
            pattern += c;
        } else if (c == '?') {
            pattern += '.';
        } else if (c == '{') {
            return VI_ERROR_INV_EXPR;  // attribute expressions
        } else if (std::string("*+|()").find(c) != std::string::npos) {
            pattern += c;
        } else if (std::string(".^$}]").find(c) != std::string::npos) {
            pattern += '\\';
            pattern += c;
        } else {
            pattern += c;
        }
    }
    if (inSet) return VI_ERROR_INV_EXPR;
    try {
        *out = std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error&) {
        return VI_ERROR_INV_EXPR;
    }
    return VI_SUCCESS;
}

}  // namespace qmdc::visa
