// Where a server listens, and the names it may be reached by: the addresses
// to print (ones a browser on another machine can open, not 0.0.0.0) and the
// Host values to answer (anything else may be a rebound DNS name).
#pragma once

#include <string>
#include <vector>

namespace qmdc::cli::http {

// A listening TCP socket (non-blocking, close-on-exec) on the address (a
// numeric address or a name; "0.0.0.0" and "::" are every address) and port
// (0: one the kernel picks). Throws a Failure when it cannot.
int ListenOn(const std::string& address, int port);

// The port a listening socket has.
int PortOf(int socket);

bool IsWildcard(const std::string& address);
bool IsLoopback(const std::string& address);

// "HOST:PORT" for each address a client can reach the server by: the
// address itself, or for a wildcard each address of this machine's
// interfaces (IPv4, and for "::" IPv6 too; loopback first).
std::vector<std::string> ReachableAuthorities(const std::string& address, int port);

// "NAME:PORT" for a name without a port ("[::1]" counts as without).
std::string WithPort(const std::string& name, int port);

// The Host header values to answer: the reachable ones, "localhost" when
// the loopback address is among them, and each of allowedNames ("NAME" or
// "NAME:PORT"; the port is added when missing). Port 80 may also be left out,
// as browsers do.
std::vector<std::string> AnsweredHosts(const std::string& address, int port,
                                       const std::vector<std::string>& allowedNames);

// Whether a request's Host header value is one of hosts (any letter case).
bool AnswersHost(const std::vector<std::string>& hosts, const std::string& host);

}  // namespace qmdc::cli::http
