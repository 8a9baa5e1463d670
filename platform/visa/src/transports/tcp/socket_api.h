// socket_api.h - the few socket calls that differ between POSIX and Winsock,
// so that the TCP transport and its connect logic are written once
// (tcp_transport.cpp); each platform implements them in its own folder.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <string>

#include "deadline.h"

namespace qmdc::visa::net {

#ifdef _WIN32
using Socket = SOCKET;
inline const Socket kNoSocket = INVALID_SOCKET;
#else
using Socket = int;
inline const Socket kNoSocket = -1;
#endif

// Readies the socket library for this process (Winsock wants WSAStartup
// before any other call); false when sockets cannot be used at all.
bool startup();

// A non-blocking stream socket for `ai`, not inherited by child processes,
// whose sends never raise SIGPIPE; kNoSocket on failure.
Socket openStreamSocket(const addrinfo* ai);

// When the last socket call of this thread failed for want of resources
// (descriptors, buffers, memory): the system's text for it. Empty otherwise.
std::string resourceShortage();

// Connects `s` to `ai`, giving up when the deadline passes.
bool connectWithin(Socket s, const addrinfo* ai, const Deadline& deadline);

void closeSocket(Socket s);

// Boolean socket options (TCP_NODELAY, SO_KEEPALIVE); false when the stack
// refuses the call.
bool setFlag(Socket s, int level, int option, bool on);
bool getFlag(Socket s, int level, int option, bool* on);

// Ends both directions: the peer sees the connection close, and a call
// blocked on the socket in another thread returns.
void shutdownBoth(Socket s);

}  // namespace qmdc::visa::net
