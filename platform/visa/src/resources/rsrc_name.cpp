// rsrc_name.cpp - resource names: INTERFACE[board]::field::...::CLASS.
#include "rsrc_name.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qmdc::visa {

namespace {

using Fields = std::vector<std::string>;

constexpr unsigned long kHislipPort = 4880;

bool equalsNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

bool startsWithNoCase(const std::string& a, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return a.size() >= n && equalsNoCase(a.substr(0, n), prefix);
}

// Decimal digits only, value <= max.
bool parseNumber(const std::string& s, unsigned long max, unsigned long* out) {
    if (s.empty() || s.size() > 10) return false;
    unsigned long v = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v > max) return false;
    *out = v;
    return true;
}

// USB ids are decimal or 0x-prefixed hexadecimal.
bool parseUsbId(const std::string& s, ViUInt16* out) {
    unsigned long v = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        if (s.size() > 6) return false;
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = s[i];
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            v = v * 16 + static_cast<unsigned long>(
                             std::isdigit(static_cast<unsigned char>(c))
                                 ? c - '0'
                                 : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
        }
    } else if (!parseNumber(s, 0xFFFF, &v)) {
        return false;
    }
    *out = static_cast<ViUInt16>(v);
    return true;
}

std::string hex4(ViUInt16 v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
    return text;
}

// Splits on "::", keeping a bracketed IPv6 host ("[::1]") in one field.
Fields split(const std::string& text) {
    Fields raw;
    size_t start = 0;
    for (;;) {
        const size_t sep = text.find("::", start);
        raw.push_back(
            text.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) break;
        start = sep + 2;
    }
    Fields fields;
    for (size_t i = 0; i < raw.size(); ++i) {
        std::string f = raw[i];
        if (!f.empty() && f[0] == '[')
            while (f.find(']') == std::string::npos && i + 1 < raw.size()) f += "::" + raw[++i];
        fields.push_back(f);
    }
    return fields;
}

// Removes a trailing class field equal to `cls`; true if it was there.
bool dropClass(Fields* f, const char* cls) {
    if (f->size() > 1 && equalsNoCase(f->back(), cls)) {
        f->pop_back();
        return true;
    }
    return false;
}

bool validHost(const std::string& h) {
    if (h.empty()) return false;
    for (char c : h)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']') return false;
    return true;
}

// "hislipN[,port]": the HiSLIP sub-address and the server's port (4880 by
// default).
ViStatus parseHislip(const std::string& device, ViUInt16 board, const std::string& hostField,
                     const std::string& host, ResourceName* out) {
    const size_t comma = device.find(',');
    const std::string number = device.substr(6, comma == std::string::npos ? comma : comma - 6);
    unsigned long n = 0, port = kHislipPort;
    if (!parseNumber(number, 0xFFFF, &n)) return VI_ERROR_INV_RSRC_NAME;
    if (comma != std::string::npos &&
        (!parseNumber(device.substr(comma + 1), 0xFFFF, &port) || port == 0))
        return VI_ERROR_INV_RSRC_NAME;
    out->kind = RsrcKind::Hislip;
    out->board = board;
    out->host = host;
    out->port = static_cast<ViUInt16>(port);
    out->device = "hislip" + number;
    out->canonical = "TCPIP" + std::to_string(board) + "::" + hostField + "::" + out->device +
                     (comma == std::string::npos ? "" : "," + std::to_string(port)) + "::INSTR";
    return VI_SUCCESS;
}

// The device name of a TCPIP INSTR resource says which protocol reaches it;
// VXI-11 takes any name ("inst0", "gpib0,5") and leaves it to the server.
bool classifyLanDevice(const std::string& device, ResourceName* out) {
    if (device.size() > 255) return false;
    for (char c : device)
        if (std::isspace(static_cast<unsigned char>(c))) return false;
    out->kind = RsrcKind::Vxi11;
    out->device = device;
    return true;
}

ViStatus parseTcpip(Fields f, const std::string& boardText, ResourceName* out) {
    unsigned long board = 0, port = 0;
    if (!boardText.empty() && !parseNumber(boardText, 0xFFFF, &board))
        return VI_ERROR_INV_RSRC_NAME;
    if (f.size() < 2) return VI_ERROR_INV_RSRC_NAME;
    std::string host = f[1];
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!validHost(host)) return VI_ERROR_INV_RSRC_NAME;
    if (dropClass(&f, "SOCKET")) {
        if (f.size() != 3 || !parseNumber(f[2], 0xFFFF, &port) || port == 0)
            return VI_ERROR_INV_RSRC_NAME;
        out->kind = RsrcKind::TcpSocket;
        out->board = static_cast<ViUInt16>(board);
        out->host = host;
        out->port = static_cast<ViUInt16>(port);
        out->canonical = "TCPIP" + std::to_string(board) + "::" + f[1] +
                         "::" + std::to_string(port) + "::SOCKET";
        out->intfType = VI_INTF_TCPIP;
        out->rsrcClass = "SOCKET";
        return VI_SUCCESS;
    }
    dropClass(&f, "INSTR");
    if (f.size() == 3 && startsWithNoCase(f[2], "HISLIP")) {
        out->intfType = VI_INTF_TCPIP;
        out->rsrcClass = "INSTR";
        return parseHislip(f[2], static_cast<ViUInt16>(board), f[1], host, out);
    }
    if (f.size() > 3 || !classifyLanDevice(f.size() == 3 ? f[2] : "inst0", out))
        return VI_ERROR_INV_RSRC_NAME;
    out->board = static_cast<ViUInt16>(board);
    out->host = host;
    out->canonical = "TCPIP" + std::to_string(board) + "::" + f[1] + "::" + out->device + "::INSTR";
    out->intfType = VI_INTF_TCPIP;
    out->rsrcClass = "INSTR";
    return VI_SUCCESS;
}

ViStatus parseSerial(Fields f, const std::string& boardText, ResourceName* out) {
    dropClass(&f, "INSTR");
    if (f.size() != 1) return VI_ERROR_INV_RSRC_NAME;
    unsigned long board = 0;
    out->kind = RsrcKind::Serial;
    out->intfType = VI_INTF_ASRL;
    out->rsrcClass = "INSTR";
    if (!boardText.empty() && boardText[0] == '/') {
        if (boardText.size() < 2) return VI_ERROR_INV_RSRC_NAME;
        out->device = boardText;
        out->canonical = "ASRL" + boardText + "::INSTR";
        return VI_SUCCESS;
    }
    if (!boardText.empty() && !parseNumber(boardText, 0xFFFF, &board))
        return VI_ERROR_INV_RSRC_NAME;
    out->board = static_cast<ViUInt16>(board);
    out->device = "/dev/ttyS" + std::to_string(board > 0 ? board - 1 : 0);
    out->canonical = "ASRL" + std::to_string(board) + "::INSTR";
    return VI_SUCCESS;
}

// Fills what viParseRsrc reports for a name of another interface.
ViStatus unsupported(ResourceName* out, ViUInt16 intfType, const std::string& prefix,
                     unsigned long board, const Fields& f, const char* cls) {
    out->intfType = intfType;
    out->board = static_cast<ViUInt16>(board);
    out->rsrcClass = cls;
    out->canonical = prefix + std::to_string(board);
    for (size_t i = 1; i < f.size(); ++i) out->canonical += "::" + f[i];
    out->canonical += std::string("::") + cls;
    return kUnsupportedKind;
}

ViStatus parseGpib(Fields f, const std::string& boardText, ResourceName* out) {
    unsigned long board = 0, n;
    if (!boardText.empty() && !parseNumber(boardText, 0xFFFF, &board))
        return VI_ERROR_INV_RSRC_NAME;
    if (f.size() == 2 && equalsNoCase(f[1], "INTFC"))
        return unsupported(out, VI_INTF_GPIB, "GPIB", board, {f[0]}, "INTFC");
    dropClass(&f, "INSTR");
    if (f.size() < 2 || f.size() > 3) return VI_ERROR_INV_RSRC_NAME;
    for (size_t i = 1; i < f.size(); ++i)
        if (!parseNumber(f[i], 30, &n)) return VI_ERROR_INV_RSRC_NAME;
    return unsupported(out, VI_INTF_GPIB, "GPIB", board, f, "INSTR");
}

ViStatus parseUsb(Fields f, const std::string& boardText, ResourceName* out) {
    unsigned long board = 0, n = 0;
    if (!boardText.empty() && !parseNumber(boardText, 0xFFFF, &board))
        return VI_ERROR_INV_RSRC_NAME;
    const bool raw = dropClass(&f, "RAW");
    if (!raw) dropClass(&f, "INSTR");
    if (f.size() < 4 || f.size() > 5) return VI_ERROR_INV_RSRC_NAME;
    if (!parseUsbId(f[1], &out->usbVendor) || !parseUsbId(f[2], &out->usbProduct) || f[3].empty())
        return VI_ERROR_INV_RSRC_NAME;
    if (f.size() == 5 && !parseNumber(f[4], 0xFF, &n)) return VI_ERROR_INV_RSRC_NAME;
    if (raw) return unsupported(out, VI_INTF_USB, "USB", board, f, "RAW");
    // INSTR: a USBTMC interface, the ids written the way the instrument's
    // descriptor lists them, so that one instrument has one name.
    out->kind = RsrcKind::Usbtmc;
    out->intfType = VI_INTF_USB;
    out->rsrcClass = "INSTR";
    out->board = static_cast<ViUInt16>(board);
    out->usbSerial = f[3];
    out->usbInterface = f.size() == 5 ? static_cast<int>(n) : -1;
    out->canonical = "USB" + std::to_string(board) + "::" + hex4(out->usbVendor) +
                     "::" + hex4(out->usbProduct) + "::" + f[3] +
                     (f.size() == 5 ? "::" + std::to_string(n) : "") + "::INSTR";
    return VI_SUCCESS;
}

}  // namespace

ViStatus parseResourceName(const char* text, ResourceName* out) {
    if (text == nullptr || std::strlen(text) >= 256) return VI_ERROR_INV_RSRC_NAME;
    const Fields fields = split(text);
    for (const std::string& f : fields)
        if (f.empty()) return VI_ERROR_INV_RSRC_NAME;
    const std::string& head = fields[0];
    if (startsWithNoCase(head, "TCPIP")) return parseTcpip(fields, head.substr(5), out);
    if (startsWithNoCase(head, "ASRL")) return parseSerial(fields, head.substr(4), out);
    if (startsWithNoCase(head, "GPIB-VXI")) return VI_ERROR_INV_RSRC_NAME;
    if (startsWithNoCase(head, "GPIB")) return parseGpib(fields, head.substr(4), out);
    if (startsWithNoCase(head, "USB")) return parseUsb(fields, head.substr(3), out);
    return VI_ERROR_INV_RSRC_NAME;
}

}  // namespace qmdc::visa
