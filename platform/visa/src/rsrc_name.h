// rsrc_name.h - parsing VISA resource names.
#pragma once

#include <string>

#include "visa.h"

namespace qmdc::visa {

enum class RsrcKind { TcpSocket, Serial, Vxi11, Hislip, Usbtmc };

struct ResourceName {
    RsrcKind kind = RsrcKind::TcpSocket;
    ViUInt16 board = 0;
    std::string host;       // TCPIP: as written, without IPv6 brackets
    ViUInt16 port = 0;      // TCPIP
    std::string device;     // ASRL: path of the terminal device; TCPIP INSTR: the device
                            // name ("inst0", "gpib0,5", "hislip0")
    std::string canonical;  // e.g. "TCPIP0::10.0.0.5::5025::SOCKET", "ASRL1::INSTR"
};

// Parses a resource name (case-insensitive apart from host and device path).
// VI_SUCCESS for the names this library opens; VI_ERROR_RSRC_NFOUND for a
// well-formed name of another interface (GPIB, USB);
// VI_ERROR_INV_RSRC_NAME otherwise.
ViStatus parseResourceName(const char* text, ResourceName* out);

}  // namespace qmdc::visa
