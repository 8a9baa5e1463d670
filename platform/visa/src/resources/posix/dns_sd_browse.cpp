// dns_sd_browse.cpp - DNS-SD browsing through the avahi daemon's client
// library, loaded with dlopen the first time it is needed: the VISA library
// neither needs avahi to load nor to be built, and without it (or without a
// daemon) finds nothing this way. The few declarations used are written out
// here as the library's stable C interface (avahi-client 0.6 and later).
#include <dlfcn.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "lan_discovery.h"

namespace qmdc::visa {

namespace {

// From <avahi-common/address.h>, <avahi-common/defs.h>, <avahi-client/*.h>.
struct AvahiPoll;
struct AvahiSimplePoll;
struct AvahiClient;
struct AvahiServiceBrowser;
struct AvahiServiceResolver;
struct AvahiStringList;
struct AvahiAddress {
    int proto;  // AVAHI_PROTO_INET (0) or AVAHI_PROTO_INET6 (1)
    union {
        uint8_t ipv6[16];
        uint32_t ipv4;  // network byte order
    } data;
};
constexpr int kIfUnspec = -1, kProtoInet = 0;
enum BrowserEvent { kBrowserNew = 0, kBrowserAllForNow = 3, kBrowserFailure = 4 };
enum ResolverEvent { kResolverFound = 0 };
enum ClientState { kClientFailure = 100 };

using ClientCallback = void (*)(AvahiClient*, int state, void* userdata);
using BrowserCallback = void (*)(AvahiServiceBrowser*, int interface, int protocol, int event,
                                 const char* name, const char* type, const char* domain, int flags,
                                 void* userdata);
using ResolverCallback = void (*)(AvahiServiceResolver*, int interface, int protocol, int event,
                                  const char* name, const char* type, const char* domain,
                                  const char* host, const AvahiAddress* address, uint16_t port,
                                  AvahiStringList* txt, int flags, void* userdata);

struct Avahi {
    AvahiSimplePoll* (*simplePollNew)();
    const AvahiPoll* (*simplePollGet)(AvahiSimplePoll*);
    int (*simplePollIterate)(AvahiSimplePoll*, int sleepMs);
    void (*simplePollFree)(AvahiSimplePoll*);
    AvahiClient* (*clientNew)(const AvahiPoll*, int flags, ClientCallback, void*, int* error);
    void (*clientFree)(AvahiClient*);  // frees its browsers and resolvers too
    AvahiServiceBrowser* (*browserNew)(AvahiClient*, int interface, int protocol, const char* type,
                                       const char* domain, int flags, BrowserCallback, void*);
    AvahiServiceResolver* (*resolverNew)(AvahiClient*, int interface, int protocol,
                                         const char* name, const char* type, const char* domain,
                                         int addressProtocol, int flags, ResolverCallback, void*);
    bool loaded = false;
};

template <class F>
bool bind(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(::dlsym(library, name));
    return *out != nullptr;
}

// The library, loaded once and kept for the life of the process.
const Avahi& avahi() {
    static Avahi a;
    static std::once_flag once;
    std::call_once(once, [] {
        void* common = ::dlopen("libavahi-common.so.3", RTLD_NOW | RTLD_LOCAL);
        void* client = ::dlopen("libavahi-client.so.3", RTLD_NOW | RTLD_LOCAL);
        if (common == nullptr || client == nullptr) return;
        a.loaded = bind(common, "avahi_simple_poll_new", &a.simplePollNew) &&
                   bind(common, "avahi_simple_poll_get", &a.simplePollGet) &&
                   bind(common, "avahi_simple_poll_iterate", &a.simplePollIterate) &&
                   bind(common, "avahi_simple_poll_free", &a.simplePollFree) &&
                   bind(client, "avahi_client_new", &a.clientNew) &&
                   bind(client, "avahi_client_free", &a.clientFree) &&
                   bind(client, "avahi_service_browser_new", &a.browserNew) &&
                   bind(client, "avahi_service_resolver_new", &a.resolverNew);
    });
    return a;
}

const char* const kTypes[] = {"_vxi-11._tcp", "_hislip._tcp", "_lxi._tcp", "_scpi-raw._tcp"};
constexpr size_t kMaxServices = 1024;  // resolutions started, at most

// One browse: what the callbacks learn, on the thread that iterates the poll.
struct Browse {
    const Avahi* avahi = nullptr;
    AvahiClient* client = nullptr;
    bool failed = false;
    size_t browsersDone = 0;  // told all they know for now, or failed
    size_t started = 0;       // resolutions asked for
    size_t resolved = 0;      // ... and answered, found or not
    std::vector<std::string> names;
};

void onClient(AvahiClient*, int state, void* userdata) {
    if (state == kClientFailure) static_cast<Browse*>(userdata)->failed = true;
}

void onResolved(AvahiServiceResolver*, int, int, int event, const char*, const char* type,
                const char*, const char*, const AvahiAddress* address, uint16_t port,
                AvahiStringList*, int, void* userdata) {
    Browse& b = *static_cast<Browse*>(userdata);
    ++b.resolved;
    if (event != kResolverFound || address == nullptr || address->proto != kProtoInet ||
        type == nullptr)
        return;
    char text[INET_ADDRSTRLEN] = "";
    in_addr a{address->data.ipv4};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    const std::string name = dnsSdResourceName(type, text, port);
    if (!name.empty() && std::find(b.names.begin(), b.names.end(), name) == b.names.end())
        b.names.push_back(name);
}

void onBrowsed(AvahiServiceBrowser*, int interface, int protocol, int event, const char* name,
               const char* type, const char* domain, int, void* userdata) {
    Browse& b = *static_cast<Browse*>(userdata);
    if (event == kBrowserAllForNow || event == kBrowserFailure) ++b.browsersDone;
    if (event != kBrowserNew || b.started >= kMaxServices) return;
    if (b.avahi->resolverNew(b.client, interface, protocol, name, type, domain, kProtoInet, 0,
                             onResolved, &b) != nullptr)
        ++b.started;
}

}  // namespace

std::vector<std::string> browseDnsSd(const LanDiscovery& how) {
    const Avahi& a = avahi();
    if (how.timeoutMs == 0 || !a.loaded) return {};
    AvahiSimplePoll* poll = a.simplePollNew();
    if (poll == nullptr) return {};
    Browse b;
    b.avahi = &a;
    int error = 0;
    b.client = a.clientNew(a.simplePollGet(poll), 0, onClient, &b, &error);
    if (b.client != nullptr) {
        size_t browsers = 0;
        for (const char* type : kTypes)
            if (a.browserNew(b.client, kIfUnspec, kProtoInet, type, nullptr, 0, onBrowsed, &b))
                ++browsers;
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(how.timeoutMs);
        for (;;) {
            if (b.failed || (b.browsersDone >= browsers && b.resolved >= b.started)) break;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || a.simplePollIterate(poll, static_cast<int>(left)) != 0) break;
        }
        a.clientFree(b.client);
    }
    a.simplePollFree(poll);
    std::sort(b.names.begin(), b.names.end());
    return b.names;
}

}  // namespace qmdc::visa
