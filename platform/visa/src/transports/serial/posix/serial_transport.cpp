// serial_transport.cpp - ASRL resources over a POSIX terminal (termios).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "descriptor.h"
#include "fd_transport.h"
#include "adopt_handle.h"
#include "open_failure.h"

namespace qmdc::visa {

namespace {

struct Baud {
    ViUInt32 rate;
    speed_t code;
};

constexpr Baud kBauds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
};

#ifdef CMSPAR
constexpr tcflag_t kMarkSpace = CMSPAR;
#else
constexpr tcflag_t kMarkSpace = 0;
#endif
#ifdef CRTSCTS
constexpr tcflag_t kRtsCts = CRTSCTS;
#else
constexpr tcflag_t kRtsCts = 0;
#endif

// One line setting: how a VISA value goes into termios and comes back.
struct LineSetting {
    ViAttr attr;
    bool (*encode)(termios& t, ViUInt32 value);  // false: value not supported
    ViUInt32 (*decode)(const termios& t);
};

bool encodeBaud(termios& t, ViUInt32 v) {
    for (const Baud& b : kBauds)
        if (b.rate == v) return ::cfsetispeed(&t, b.code) == 0 && ::cfsetospeed(&t, b.code) == 0;
    return false;
}
ViUInt32 decodeBaud(const termios& t) {
    for (const Baud& b : kBauds)
        if (b.code == ::cfgetospeed(&t)) return b.rate;
    return 0;
}

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
bool encodeDataBits(termios& t, ViUInt32 v) {
    if (v < 5 || v > 8) return false;
    t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[v - 5];
    return true;
}
ViUInt32 decodeDataBits(const termios& t) {
    for (ViUInt32 i = 0; i < 4; ++i)
        if ((t.c_cflag & CSIZE) == kSizes[i]) return i + 5;
    return 0;
}

// Parity flags per VI_ASRL_PAR_* value (mark and space need CMSPAR).
constexpr tcflag_t kParityMask = PARENB | PARODD | kMarkSpace;
constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | kMarkSpace,
                                  PARENB | kMarkSpace};
bool encodeParity(termios& t, ViUInt32 v) {
    if (v > VI_ASRL_PAR_SPACE || (v >= VI_ASRL_PAR_MARK && kMarkSpace == 0)) return false;
    t.c_cflag = (t.c_cflag & ~kParityMask) | kParities[v];
    return true;
}
ViUInt32 decodeParity(const termios& t) {
    for (ViUInt32 i = 0; i <= VI_ASRL_PAR_SPACE; ++i)
        if ((t.c_cflag & kParityMask) == kParities[i]) return i;
    return VI_ASRL_PAR_NONE;
}

bool encodeStopBits(termios& t, ViUInt32 v) {
    if (v != VI_ASRL_STOP_ONE && v != VI_ASRL_STOP_TWO) return false;
    t.c_cflag = v == VI_ASRL_STOP_TWO ? t.c_cflag | CSTOPB : t.c_cflag & ~CSTOPB;
    return true;
}
ViUInt32 decodeStopBits(const termios& t) {
    return t.c_cflag & CSTOPB ? VI_ASRL_STOP_TWO : VI_ASRL_STOP_ONE;
}

bool encodeFlow(termios& t, ViUInt32 v) {
    const ViUInt32 supported = VI_ASRL_FLOW_XON_XOFF | (kRtsCts ? VI_ASRL_FLOW_RTS_CTS : 0);
    if (v & ~supported) return false;
    t.c_iflag = v & VI_ASRL_FLOW_XON_XOFF ? t.c_iflag | IXON | IXOFF : t.c_iflag & ~(IXON | IXOFF);
    t.c_cflag = v & VI_ASRL_FLOW_RTS_CTS ? t.c_cflag | kRtsCts : t.c_cflag & ~kRtsCts;
    return true;
}
ViUInt32 decodeFlow(const termios& t) {
    ViUInt32 v = VI_ASRL_FLOW_NONE;
    if ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF)) v |= VI_ASRL_FLOW_XON_XOFF;
    if (kRtsCts && (t.c_cflag & kRtsCts)) v |= VI_ASRL_FLOW_RTS_CTS;
    return v;
}

template <int Index>
bool encodeChar(termios& t, ViUInt32 v) {
    t.c_cc[Index] = static_cast<cc_t>(v);
    return true;
}
template <int Index>
ViUInt32 decodeChar(const termios& t) {
    return t.c_cc[Index];
}

constexpr LineSetting kLineSettings[] = {
    {VI_ATTR_ASRL_BAUD, encodeBaud, decodeBaud},
    {VI_ATTR_ASRL_DATA_BITS, encodeDataBits, decodeDataBits},
    {VI_ATTR_ASRL_PARITY, encodeParity, decodeParity},
    {VI_ATTR_ASRL_STOP_BITS, encodeStopBits, decodeStopBits},
    {VI_ATTR_ASRL_FLOW_CNTRL, encodeFlow, decodeFlow},
    {VI_ATTR_ASRL_XON_CHAR, encodeChar<VSTART>, decodeChar<VSTART>},
    {VI_ATTR_ASRL_XOFF_CHAR, encodeChar<VSTOP>, decodeChar<VSTOP>},
};

const LineSetting* findSetting(ViAttr attr) {
    for (const LineSetting& s : kLineSettings)
        if (s.attr == attr) return &s;
    return nullptr;
}

// Raw 8-bit line, 9600 8N1, no flow control; reads return at once (VMIN 0).
void makeRaw(termios& t) {
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | kMarkSpace | kRtsCts);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    encodeBaud(t, 9600);
}

class SerialTransport final : public FdTransport {
  public:
    explicit SerialTransport(int fd) : FdTransport(fd, false) {}

    void discardInput() override { ::tcflush(fd_, TCIFLUSH); }

    EndRules endRules() const override {
        EndRules rules;
        rules.termcharEndsRead = endIn_ == VI_ASRL_END_TERMCHAR;
        rules.termcharOnWrite = endOut_ == VI_ASRL_END_TERMCHAR;
        return rules;
    }

    ViStatus getAttribute(ViAttr attr, AttrValue* out) override {
        if (attr == VI_ATTR_ASRL_END_IN || attr == VI_ATTR_ASRL_END_OUT) {
            out->num = attr == VI_ATTR_ASRL_END_IN ? endIn_ : endOut_;
            return VI_SUCCESS;
        }
        if (attr == VI_ATTR_ASRL_AVAIL_NUM) {
            int n = 0;
            if (::ioctl(fd_, FIONREAD, &n) != 0) return VI_ERROR_IO;
            out->num = static_cast<ViUInt32>(n);
            return VI_SUCCESS;
        }
        const LineSetting* setting = findSetting(attr);
        if (setting == nullptr) return VI_ERROR_NSUP_ATTR;
        termios t{};
        if (::tcgetattr(fd_, &t) != 0) return VI_ERROR_IO;
        out->num = setting->decode(t);
        return VI_SUCCESS;
    }

    // Applies the setting to the line and reads it back: a value the driver
    // did not take is refused and the line left as it was.
    ViStatus setAttribute(ViAttr attr, ViUInt32 value) override {
        if (attr == VI_ATTR_ASRL_END_IN || attr == VI_ATTR_ASRL_END_OUT) {
            if (value != VI_ASRL_END_NONE && value != VI_ASRL_END_TERMCHAR)
                return VI_ERROR_NSUP_ATTR_STATE;
            (attr == VI_ATTR_ASRL_END_IN ? endIn_ : endOut_) = static_cast<ViUInt16>(value);
            return VI_SUCCESS;
        }
        const LineSetting* setting = findSetting(attr);
        if (setting == nullptr) return VI_ERROR_NSUP_ATTR;
        termios before{}, t{}, after{};
        if (::tcgetattr(fd_, &before) != 0) return VI_ERROR_IO;
        t = before;
        if (!setting->encode(t, value)) return VI_ERROR_NSUP_ATTR_STATE;
        if (::tcsetattr(fd_, TCSANOW, &t) != 0 || ::tcgetattr(fd_, &after) != 0 ||
            setting->decode(after) != value) {
            ::tcsetattr(fd_, TCSANOW, &before);
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        return VI_SUCCESS;
    }

  private:
    ViUInt16 endIn_ = VI_ASRL_END_TERMCHAR;
    ViUInt16 endOut_ = VI_ASRL_END_NONE;
};

ViStatus openErrorStatus(int err) {
    if (isResourceShortage(err)) return VI_ERROR_ALLOC;
    switch (err) {
        case EACCES:
        case EPERM:
            return VI_ERROR_NPERMISSION;
        case EBUSY:
            return VI_ERROR_RSRC_BUSY;
        default:
            return VI_ERROR_RSRC_NFOUND;
    }
}

// What the path is when it is no terminal; empty for a terminal.
std::string notATerminal(const struct stat& st) {
    const char* what = S_ISREG(st.st_mode)    ? "is a regular file"
                       : S_ISDIR(st.st_mode)  ? "is a directory"
                       : S_ISFIFO(st.st_mode) ? "is a FIFO"
                       : S_ISSOCK(st.st_mode) ? "is a socket"
                       : S_ISBLK(st.st_mode)  ? "is a block device"
                                              : "is a device that is not a terminal";
    return std::string(what) + ", not a serial port";
}

// Fails the open with `status` and the reason, which names the device.
std::nullptr_t refuse(const std::string& device, ViStatus* status, ViStatus failure,
                      const std::string& reason) {
    *status = failure;
    noteOpenFailure("'" + device + "' " + reason + ".");
    return nullptr;
}

}  // namespace

std::unique_ptr<Transport> openSerial(const ResourceName& name, ViStatus* status) {
    const std::string& device = name.device;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        // A directory or a socket cannot be opened so; say what it is.
        if (::stat(device.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || S_ISSOCK(st.st_mode)))
            return refuse(device, status, VI_ERROR_RSRC_NFOUND, notATerminal(st));
        return refuse(device, status, openErrorStatus(err),
                      "cannot be opened: " + std::generic_category().message(err));
    }
    std::unique_ptr<SerialTransport> transport = adoptHandle<SerialTransport>(fd, ::close, status);
    if (!transport) return nullptr;
    termios t{};
    if (!::isatty(fd) || ::tcgetattr(fd, &t) != 0) {
        struct stat st {};
        const std::string what = ::fstat(fd, &st) == 0 ? notATerminal(st) : "is not a terminal";
        return refuse(device, status, VI_ERROR_RSRC_NFOUND, what);
    }
    makeRaw(t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        *status = VI_ERROR_IO;
        return nullptr;
    }
    *status = VI_SUCCESS;
    return transport;
}

}  // namespace qmdc::visa
