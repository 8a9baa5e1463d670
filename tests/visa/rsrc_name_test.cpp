// Resource name parsing on its own.
#include <gtest/gtest.h>

#include "rsrc_name.h"

namespace {

using qmdc::visa::parseResourceName;
using qmdc::visa::ResourceName;
using qmdc::visa::RsrcKind;

TEST(VisaResourceName, SocketNames) {
    struct Case {
        const char* name;
        const char* host;
        ViUInt16 port;
        ViUInt16 board;
        const char* canonical;
    };
    const Case cases[] = {
        {"TCPIP0::10.0.0.5::5025::SOCKET", "10.0.0.5", 5025, 0, "TCPIP0::10.0.0.5::5025::SOCKET"},
        {"TCPIP::psu.lab::5025::SOCKET", "psu.lab", 5025, 0, "TCPIP0::psu.lab::5025::SOCKET"},
        {"tcpip3::Host::1::socket", "Host", 1, 3, "TCPIP3::Host::1::SOCKET"},
        {"TCPIP::[::1]::65535::Socket", "::1", 65535, 0, "TCPIP0::[::1]::65535::SOCKET"},
    };
    for (const Case& c : cases) {
        ResourceName rn;
        ASSERT_EQ(parseResourceName(c.name, &rn), VI_SUCCESS) << c.name;
        EXPECT_EQ(rn.kind, RsrcKind::TcpSocket);
        EXPECT_EQ(rn.host, c.host);
        EXPECT_EQ(rn.port, c.port);
        EXPECT_EQ(rn.board, c.board);
        EXPECT_EQ(rn.canonical, c.canonical);
    }
}

TEST(VisaResourceName, SerialNames) {
    struct Case {
        const char* name;
        const char* device;
        const char* canonical;
    };
    const Case cases[] = {
        {"ASRL1::INSTR", "/dev/ttyS0", "ASRL1::INSTR"},
        {"ASRL2::INSTR", "/dev/ttyS1", "ASRL2::INSTR"},
        {"ASRL0::INSTR", "/dev/ttyS0", "ASRL0::INSTR"},
        {"ASRL", "/dev/ttyS0", "ASRL0::INSTR"},
        {"asrl12::instr", "/dev/ttyS11", "ASRL12::INSTR"},
        {"ASRL/dev/ttyUSB0::INSTR", "/dev/ttyUSB0", "ASRL/dev/ttyUSB0::INSTR"},
        {"asrl/dev/serial/by-id/Orvane_PSU::instr", "/dev/serial/by-id/Orvane_PSU",
         "ASRL/dev/serial/by-id/Orvane_PSU::INSTR"},
        {"ASRL/dev/pts/3", "/dev/pts/3", "ASRL/dev/pts/3::INSTR"},
    };
    for (const Case& c : cases) {
        ResourceName rn;
        ASSERT_EQ(parseResourceName(c.name, &rn), VI_SUCCESS) << c.name;
        EXPECT_EQ(rn.kind, RsrcKind::Serial);
        EXPECT_EQ(rn.device, c.device);
        EXPECT_EQ(rn.canonical, c.canonical);
    }
}

TEST(VisaResourceName, Vxi11Names) {
    struct Case {
        const char* name;
        const char* host;
        const char* device;
        ViUInt16 board;
        const char* canonical;
    };
    const Case cases[] = {
        {"TCPIP::10.0.0.5::INSTR", "10.0.0.5", "inst0", 0, "TCPIP0::10.0.0.5::inst0::INSTR"},
        {"TCPIP0::10.0.0.5::inst0::INSTR", "10.0.0.5", "inst0", 0,
         "TCPIP0::10.0.0.5::inst0::INSTR"},
        {"tcpip2::psu.lab::gpib0,5::instr", "psu.lab", "gpib0,5", 2,
         "TCPIP2::psu.lab::gpib0,5::INSTR"},
        {"TCPIP::[::1]::inst1", "::1", "inst1", 0, "TCPIP0::[::1]::inst1::INSTR"},
        {"TCPIP::10.0.0.5", "10.0.0.5", "inst0", 0, "TCPIP0::10.0.0.5::inst0::INSTR"},
    };
    for (const Case& c : cases) {
        ResourceName rn;
        ASSERT_EQ(parseResourceName(c.name, &rn), VI_SUCCESS) << c.name;
        EXPECT_EQ(rn.kind, RsrcKind::Vxi11) << c.name;
        EXPECT_EQ(rn.host, c.host);
        EXPECT_EQ(rn.device, c.device);
        EXPECT_EQ(rn.board, c.board);
        EXPECT_EQ(rn.canonical, c.canonical);
    }
}

TEST(VisaResourceName, HislipNames) {
    struct Case {
        const char* name;
        ViStatus status;
        const char* host = nullptr;
        ViUInt16 port = 0;
        const char* device = nullptr;
        const char* canonical = nullptr;
    };
    const Case cases[] = {
        {"TCPIP0::10.0.0.5::hislip0::INSTR", VI_SUCCESS, "10.0.0.5", 4880, "hislip0",
         "TCPIP0::10.0.0.5::hislip0::INSTR"},
        {"tcpip2::psu.lab::HiSLIP1,4881::instr", VI_SUCCESS, "psu.lab", 4881, "hislip1",
         "TCPIP2::psu.lab::hislip1,4881::INSTR"},
        {"TCPIP::[::1]::hislip0", VI_SUCCESS, "::1", 4880, "hislip0",
         "TCPIP0::[::1]::hislip0::INSTR"},
        {"TCPIP::h::hislip::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"TCPIP::h::hislipA::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"TCPIP::h::hislip0,::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"TCPIP::h::hislip0,0::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"TCPIP::h::hislip0,65536::INSTR", VI_ERROR_INV_RSRC_NAME},
        {"TCPIP::h::hislip0,4880,1::INSTR", VI_ERROR_INV_RSRC_NAME},
    };
    for (const Case& c : cases) {
        ResourceName rn;
        ASSERT_EQ(parseResourceName(c.name, &rn), c.status) << c.name;
        if (c.status != VI_SUCCESS) continue;
        EXPECT_EQ(rn.kind, RsrcKind::Hislip);
        EXPECT_EQ(rn.host, c.host);
        EXPECT_EQ(rn.port, c.port);
        EXPECT_EQ(rn.device, c.device);
        EXPECT_EQ(rn.canonical, c.canonical);
    }
}

TEST(VisaResourceName, OtherInterfacesAreWellFormedButNotOpenedHere) {
    for (const char* name : {"GPIB0::5::INSTR", "gpib::5", "GPIB1::5::3::INSTR", "GPIB0::INTFC",
                             "usb::4660::22136::SN1::0::raw"}) {
        ResourceName rn;
        EXPECT_EQ(parseResourceName(name, &rn), VI_ERROR_INTF_NUM_NCONFIG) << name;
    }
}

TEST(VisaResourceName, UsbInstruments) {
    const struct {
        const char* text;
        ViUInt16 board, vendor, product;
        const char* serial;
        int intf;
        const char* canonical;
    } cases[] = {
        {"USB0::0x1234::0x5678::SN1::INSTR", 0, 0x1234, 0x5678, "SN1", -1,
         "USB0::0x1234::0x5678::SN1::INSTR"},
        {"usb3::4660::22136::sn1::2", 3, 0x1234, 0x5678, "sn1", 2,
         "USB3::0x1234::0x5678::sn1::2::INSTR"},
        {"USB::0xab::0X0e11::DP8::0::instr", 0, 0xAB, 0x0E11, "DP8", 0,
         "USB0::0x00AB::0x0E11::DP8::0::INSTR"},
        // At the limits: four hex digits, 65535 in decimal, interface 255.
        {"USB0::0xffff::65535::S::255", 0, 0xFFFF, 0xFFFF, "S", 255,
         "USB0::0xFFFF::0xFFFF::S::255::INSTR"},
    };
    for (const auto& c : cases) {
        ResourceName rn;
        ASSERT_EQ(parseResourceName(c.text, &rn), VI_SUCCESS) << c.text;
        EXPECT_EQ(rn.kind, RsrcKind::Usbtmc) << c.text;
        EXPECT_EQ(rn.board, c.board) << c.text;
        EXPECT_EQ(rn.usbVendor, c.vendor) << c.text;
        EXPECT_EQ(rn.usbProduct, c.product) << c.text;
        EXPECT_EQ(rn.usbSerial, c.serial) << c.text;
        EXPECT_EQ(rn.usbInterface, c.intf) << c.text;
        EXPECT_EQ(rn.canonical, c.canonical) << c.text;
    }
}

// Each row one step past what a name may hold: an empty field, a number out
// of range, a class that does not fit the interface, a USB id of five hex
// digits or past 65535 in decimal (ids are 16 bits: at most four hex digits).
TEST(VisaResourceName, MalformedNames) {
    for (const char* name : {"",
                             "::",
                             "FOO0::INSTR",
                             "VXI0::1::INSTR",
                             "TCPIP",
                             "TCPIP::",
                             "TCPIP::host::SOCKET",
                             "TCPIP::host::0::SOCKET",
                             "TCPIP::host::65536::SOCKET",
                             "TCPIP::host::50x::SOCKET",
                             "TCPIP::host::5025::SOCKET::extra",
                             "TCPIPx::host::5025::SOCKET",
                             "TCPIP::ho st::5025::SOCKET",
                             "TCPIP::[::1::5025::SOCKET",
                             "TCPIP::a::b::c::d",
                             "ASRL1::SOCKET",
                             "ASRLx::INSTR",
                             "ASRL/::INSTR",
                             "ASRL1::INSTR::INSTR",
                             "ASRL70000",
                             "GPIB0::31::INSTR",
                             "GPIB0::INSTR",
                             "USB::0x1234::INSTR",
                             "USB::xyz::1::SN::INSTR",
                             "USB0::0x12345::0x5678::SN::INSTR",
                             "USB0::0x1234::0x56789::SN::INSTR",
                             "USB0::65536::1::SN::INSTR",
                             "USB0::0x::1::SN::INSTR",
                             "TCPIP0::host::::5025::SOCKET"}) {
        ResourceName rn;
        EXPECT_EQ(parseResourceName(name, &rn), VI_ERROR_INV_RSRC_NAME) << name;
    }
    ResourceName rn;
    EXPECT_EQ(parseResourceName(nullptr, &rn), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(parseResourceName(std::string(300, 'A').c_str(), &rn), VI_ERROR_INV_RSRC_NAME);
}

}  // namespace
