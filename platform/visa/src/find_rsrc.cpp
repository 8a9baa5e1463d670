// find_rsrc.cpp - discovery through sysfs and the user's list of LAN
// instruments, and VISA search expressions. Nothing here sends a byte to a
// device or a packet to the network.
#include "find_rsrc.h"  // first: it includes <regex> its own way

#include <algorithm>
#include <cctype>
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

std::vector<std::string> usbInstruments(const std::string& sysfs) {
    std::vector<std::string> names;
    const fs::path devices = fs::path(sysfs) / "bus" / "usb" / "devices";
    for (const std::string& e : entries(devices)) {
        // Interfaces are named <device>:<configuration>.<interface>.
        const size_t colon = e.find(':');
        if (colon == std::string::npos) continue;
        const fs::path intf = devices / e;
        if (readAttribute(intf / "bInterfaceClass") != "fe" ||
            readAttribute(intf / "bInterfaceSubClass") != "03")
            continue;
        const fs::path device = devices / e.substr(0, colon);
        const std::string vendor = readAttribute(device / "idVendor");
        const std::string product = readAttribute(device / "idProduct");
        const std::string serial = readAttribute(device / "serial");
        const std::string number = readAttribute(intf / "bInterfaceNumber");
        if (vendor.empty() || product.empty() || serial.empty()) continue;
        ResourceName parsed;
        const std::string name = "USB0::0x" + vendor + "::0x" + product + "::" + serial +
                                 "::" + std::to_string(std::strtoul(number.c_str(), nullptr, 16)) +
                                 "::INSTR";
        const ViStatus status = parseResourceName(name.c_str(), &parsed);
        if (status == VI_SUCCESS || status == kUnsupportedKind) names.push_back(name);
    }
    return names;
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

std::vector<std::string> discoverResources(const DiscoveryPlaces& places) {
    std::vector<std::string> all;
    for (const auto& part : {serialPorts(places.sysfs), usbInstruments(places.sysfs),
                             configuredResources(places.resourceList, places.resourceEnv)})
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
