#include "http/listen_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "failure.h"
#include "text_case.h"

namespace qmdc::cli::http {
namespace {

std::string Authority(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string NumericAddress(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    } else if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

// This machine's addresses, loopback first; IPv6 ones without link-local
// (a browser needs the interface's name for those).
std::vector<std::string> MachineAddresses(bool withV6) {
    std::vector<std::string> loopback, others;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {"127.0.0.1"};
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && !(withV6 && family == AF_INET6)) continue;
        const std::string text = NumericAddress(entry->ifa_addr);
        if (text.empty() || text.rfind("fe80:", 0) == 0) continue;
        auto& into = IsLoopback(text) ? loopback : others;
        if (std::find(into.begin(), into.end(), text) == into.end()) into.push_back(text);
    }
    freeifaddrs(list);
    loopback.insert(loopback.end(), others.begin(), others.end());
    return loopback;
}

}  // namespace

bool IsWildcard(const std::string& address) {
    return address.empty() || address == "0.0.0.0" || address == "::";
}

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address == "localhost";
}

int ListenOn(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found) !=
            0 ||
        found == nullptr) {
        throw Failure("cannot listen on " + address + ": no such address");
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        const int on = 1, off = 0;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (found->ai_family == AF_INET6) {
            setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);  // "::": IPv4 too
        }
        if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 128) != 0) {
            error = errno;
            close(fd);
        }
    }
    freeaddrinfo(found);
    if (error != 0) {
        throw Failure("cannot listen on " + address + " port " + std::to_string(port) + ": " +
                      std::strerror(error));
    }
    return fd;
}

int PortOf(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

std::vector<std::string> ReachableAuthorities(const std::string& address, int port) {
    std::vector<std::string> hosts =
        IsWildcard(address) ? MachineAddresses(address == "::") : std::vector{address};
    for (std::string& host : hosts) host = Authority(host, port);
    return hosts;
}

std::string WithPort(const std::string& name, int port) {
    const size_t bracket = name.rfind(']');
    const size_t from = bracket == std::string::npos ? 0 : bracket + 1;
    return name.find(':', from) != std::string::npos ? name : name + ":" + std::to_string(port);
}

std::vector<std::string> AnsweredHosts(const std::string& address, int port,
                                       const std::vector<std::string>& allowedNames) {
    std::vector<std::string> hosts = ReachableAuthorities(address, port);
    const bool loopback = std::any_of(hosts.begin(), hosts.end(), [](const std::string& host) {
        return host.rfind("127.", 0) == 0 || host.rfind("[::1]", 0) == 0;
    });
    if (loopback) hosts.push_back(Authority("localhost", port));
    for (const std::string& name : allowedNames) hosts.push_back(WithPort(name, port));
    if (port == 80) {  // a browser leaves the default port out of Host and Origin
        const size_t count = hosts.size();
        for (size_t i = 0; i < count; ++i) {
            const std::string& host = hosts[i];
            if (host.size() > 3 && host.compare(host.size() - 3, 3, ":80") == 0) {
                hosts.push_back(host.substr(0, host.size() - 3));
            }
        }
    }
    return hosts;
}

bool AnswersHost(const std::vector<std::string>& hosts, const std::string& host) {
    return std::any_of(hosts.begin(), hosts.end(),
                       [&](const std::string& known) { return EqualsIgnoringCase(host, known); });
}

}  // namespace qmdc::cli::http
