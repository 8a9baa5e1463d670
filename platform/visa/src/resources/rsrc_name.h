// rsrc_name.h - parsing VISA resource names.
#pragma once

#include <string>

#include "visa.h"

namespace qmdc::visa {

enum class RsrcKind { TcpSocket, Serial, Vxi11, Hislip, Usbtmc };

struct ResourceName {
    RsrcKind kind = RsrcKind::TcpSocket;
    ViUInt16 board = 0;
    std::string host;    // TCPIP: as written, without IPv6 brackets
    ViUInt16 port = 0;   // TCPIP
    std::string device;  // ASRL: path of the terminal device; TCPIP INSTR: the device
                         // name ("inst0", "gpib0,5", "hislip0")
    // USB INSTR: the ids and serial number the instrument reports, and the
    // interface number when the name gives one (-1: the first USBTMC one).
    ViUInt16 usbVendor = 0;
    ViUInt16 usbProduct = 0;
    std::string usbSerial;
    int usbInterface = -1;
    std::string canonical;  // e.g. "TCPIP0::10.0.0.5::5025::SOCKET", "ASRL1::INSTR"
    // What viParseRsrc reports, also for the kinds this library does not open.
    ViUInt16 intfType = 0;  // VI_INTF_TCPIP, VI_INTF_ASRL, VI_INTF_GPIB, VI_INTF_USB
    std::string rsrcClass;  // "INSTR", "SOCKET", "INTFC", "RAW"
};

// The status of a well-formed name of a kind this library does not open
// (GPIB, ...): the interface type is valid, but no such interface is
// configured here. Not VI_ERROR_RSRC_NFOUND, which would send a user to
// check cables.
constexpr ViStatus kUnsupportedKind = VI_ERROR_INTF_NUM_NCONFIG;

// Parses a resource name (case-insensitive apart from host and device path).
// VI_SUCCESS for the names this library opens; kUnsupportedKind for a
// well-formed name of another interface (GPIB, USB RAW), with
// everything but `kind` filled in; VI_ERROR_INV_RSRC_NAME otherwise.
// ASRLn is /dev/ttyS(n-1), as other VISA libraries on Linux number ports;
// ASRL0 and a bare ASRL are /dev/ttyS0 too.
ViStatus parseResourceName(const char* text, ResourceName* out);

}  // namespace qmdc::visa
