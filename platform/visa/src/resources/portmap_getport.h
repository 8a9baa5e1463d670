// portmap_getport.h - the one portmapper question LAN discovery asks: ONC RPC
// (RFC 5531) PMAPPROC_GETPORT (RFC 1833, program 100000 version 2) for the
// VXI-11 core channel (program 395183 version 1 over TCP), as a UDP datagram
// carries it (no record marking). No I/O here, so that the decoder can be
// tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qmdc::visa {

// The call with transaction id `xid`: 56 bytes.
std::vector<uint8_t> encodeGetPortCall(uint32_t xid);

// The port in a reply to call `xid`, or 0 when the datagram is no accepted,
// successful reply to it, or the portmapper knows no VXI-11 server (port 0)
// or answers a port past 65535.
uint16_t decodeGetPortReply(const uint8_t* data, size_t size, uint32_t xid);

}  // namespace qmdc::visa
