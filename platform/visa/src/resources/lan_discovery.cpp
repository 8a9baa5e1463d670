// lan_discovery.cpp - what LAN discovery does alike on every platform: its
// settings, the names DNS-SD services get, and which expressions ask.
#include "lan_discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

#include "rsrc_name.h"

namespace qmdc::visa {

namespace {

// How long past its time the call waits for DNS-SD to hand over what it found.
constexpr unsigned kGraceMs = 250;

// A decimal number up to `max`; `fallback` when the text is not one.
unsigned long envNumber(const char* name, unsigned long max, unsigned long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0' || std::strlen(text) > 9) return fallback;
    for (const char* p = text; *p != '\0'; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p))) return fallback;
    return std::min(std::strtoul(text, nullptr, 10), max);
}

void addOnce(std::vector<std::string>* all, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (std::find(all->begin(), all->end(), name) == all->end()) all->push_back(name);
}

}  // namespace

LanDiscovery LanDiscovery::fromEnvironment() {
    LanDiscovery how;
    how.timeoutMs =
        static_cast<unsigned>(envNumber("QMDC_VISA_DISCOVERY_MS", kMaxTimeoutMs, how.timeoutMs));
    const unsigned long port = envNumber("QMDC_VISA_PORTMAPPER_PORT", 0xFFFF, how.portmapperPort);
    if (port != 0) how.portmapperPort = static_cast<uint16_t>(port);
    return how;
}

std::string dnsSdResourceName(const std::string& type, const std::string& address, uint16_t port) {
    std::string name;
    if (type == "_vxi-11._tcp" || type == "_lxi._tcp")
        name = "TCPIP0::" + address + "::inst0::INSTR";
    else if (type == "_hislip._tcp")
        name = "TCPIP0::" + address + "::hislip0" +
               (port == 4880 ? "" : "," + std::to_string(port)) + "::INSTR";
    else if (type == "_scpi-raw._tcp")
        name = "TCPIP0::" + address + "::" + std::to_string(port) + "::SOCKET";
    ResourceName parsed;
    if (name.empty() || parseResourceName(name.c_str(), &parsed) != VI_SUCCESS) return "";
    return parsed.canonical;
}

std::vector<std::string> discoverLanInstruments(const LanDiscovery& how) {
    std::vector<std::string> all;
    if (how.timeoutMs == 0) return all;
    // Both wait for answers for the same time: side by side, the call takes
    // it once. DNS-SD runs on a thread of its own that the call does not wait
    // for past its time: the avahi library's calls to its daemon have
    // timeouts of their own (25 s), and a daemon that hangs must not hang
    // viFindRsrc. The thread owns what it uses.
    using Names = std::vector<std::string>;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(how.timeoutMs + kGraceMs);
    auto promise = std::make_shared<std::promise<Names>>();
    std::future<Names> dnsSd = promise->get_future();
    try {
        std::thread([how, promise] {
            Names found;
            try {
                found = browseDnsSd(how);
            } catch (...) {
                // nothing found this way
            }
            promise->set_value(std::move(found));
        }).detach();
    } catch (const std::system_error&) {
        promise->set_value(Names{});  // no thread to spare: no DNS-SD
    }
    addOnce(&all, broadcastVxi11(how));
    if (dnsSd.wait_until(until) == std::future_status::ready) addOnce(&all, dnsSd.get());
    return all;
}

bool mayMatchLanName(const char* expr) {
    if (expr == nullptr) return false;
    if (std::strpbrk(expr, "|(") != nullptr) return true;  // alternatives: any may
    static const char kLan[] = "TCPIP";
    size_t n = std::strcspn(expr, "?*+[\\");
    // "*" makes the character before it optional.
    if (n > 0 && expr[n] == '*') --n;
    for (size_t i = 0; i < n && i < sizeof kLan - 1; ++i)
        if (std::toupper(static_cast<unsigned char>(expr[i])) != kLan[i]) return false;
    return true;
}

}  // namespace qmdc::visa
