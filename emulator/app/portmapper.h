// The emulator's own portmapper (program 100000, versions 2 to 4) on port 111 of its
// loopback address: the answers to its calls, over TCP (through the VXI-11 server's
// connections) and UDP, and the UDP sockets: one on its address, and one on every address
// that takes the broadcast GETPORT of instrument discovery (lxi discover).
#ifndef QMDC_EMULATOR_APP_PORTMAPPER_H
#define QMDC_EMULATOR_APP_PORTMAPPER_H

#include <netinet/in.h>
#include <poll.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/transport.h"
#include "rpc_codec.h"

namespace qmdc::emu {

// What the portmapper maps: the VXI-11 core and abort channels on the instrument's address.
struct PortmapTable {
    in_addr_t address = 0;  // network byte order
    uint16_t corePort = 0;
    uint16_t abortPort = 0;
};

// The framed reply to one call; empty when none is to be sent: a broadcast is answered
// only when it asks for the core program, as RPC broadcasts are.
std::string PortmapReply(const PortmapTable& table, const rpc::CallHeader& call,
                         const std::string& record, size_t argsAt, bool broadcast);

class PortmapUdp {
  public:
    // Binds address:111; the broadcast socket (any address, shared with other emulators)
    // only when it can: without it, discovery does not see this instrument.
    bool Open(const PortmapTable& table, std::string& error);
    void Watch(std::vector<pollfd>& fds) const;  // always two entries
    void Serve(const std::vector<pollfd>& fds, size_t first);

  private:
    void Answer(int fd, bool broadcastSocket);

    PortmapTable table_;
    Fd unicast_;
    Fd broadcast_;
    std::vector<in_addr_t> broadcastAddresses_;  // where a datagram counts as a broadcast
};

}  // namespace qmdc::emu

#endif
