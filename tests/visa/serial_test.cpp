// ASRL sessions on a pseudo terminal: line settings reach the terminal,
// termination follows VI_ATTR_ASRL_END_IN / END_OUT.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

using namespace visatest;
using Clock = std::chrono::steady_clock;

class VisaSerial : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(rm_.open(pty_.resource(), &vi_), VI_SUCCESS); }
    void set(ViAttr attr, ViAttrState value) {
        ASSERT_EQ(viSetAttribute(vi_, attr, value), VI_SUCCESS) << std::hex << attr;
    }
    ViUInt32 get(ViAttr attr) {
        ViUInt32 v = 0;  // attributes here are at most 4 bytes; little-endian host
        EXPECT_EQ(viGetAttribute(vi_, attr, &v), VI_SUCCESS) << std::hex << attr;
        return v;
    }
    void write(const std::string& text) {
        ViUInt32 n = 0;
        ASSERT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>(text.data()),
                          static_cast<ViUInt32>(text.size()), &n),
                  VI_SUCCESS);
        EXPECT_EQ(n, text.size());
    }
    std::string read(ViUInt32 count, ViStatus* status) {
        std::string buf(count, '\0');
        ViUInt32 n = 0;
        *status = viRead(vi_, reinterpret_cast<ViPBuf>(&buf[0]), count, &n);
        buf.resize(n);
        return buf;
    }

    Pty pty_;
    ResourceManager rm_;
    ViSession vi_ = VI_NULL;
};

TEST_F(VisaSerial, OpensRawWithVisaDefaults) {
    EXPECT_EQ(get(VI_ATTR_INTF_TYPE), static_cast<ViUInt32>(VI_INTF_ASRL));
    char cls[256];
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_CLASS, cls), VI_SUCCESS);
    EXPECT_STREQ(cls, "INSTR");
    EXPECT_EQ(get(VI_ATTR_ASRL_BAUD), 9600u);
    EXPECT_EQ(get(VI_ATTR_ASRL_DATA_BITS), 8u);
    EXPECT_EQ(get(VI_ATTR_ASRL_PARITY), static_cast<ViUInt32>(VI_ASRL_PAR_NONE));
    EXPECT_EQ(get(VI_ATTR_ASRL_STOP_BITS), static_cast<ViUInt32>(VI_ASRL_STOP_ONE));
    EXPECT_EQ(get(VI_ATTR_ASRL_FLOW_CNTRL), static_cast<ViUInt32>(VI_ASRL_FLOW_NONE));
    EXPECT_EQ(get(VI_ATTR_ASRL_END_IN), static_cast<ViUInt32>(VI_ASRL_END_TERMCHAR));
    EXPECT_EQ(get(VI_ATTR_ASRL_END_OUT), static_cast<ViUInt32>(VI_ASRL_END_NONE));
    const termios t = pty_.lineSettings();
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

struct LineCase {
    ViAttr attr;
    ViUInt32 value;
    bool (*onLine)(const termios&);
};

TEST_F(VisaSerial, SettingsReachTheLine) {
    const LineCase cases[] = {
        {VI_ATTR_ASRL_BAUD, 57600, [](const termios& t) { return cfgetospeed(&t) == B57600; }},
        {VI_ATTR_ASRL_BAUD, 115200, [](const termios& t) { return cfgetispeed(&t) == B115200; }},
        {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_TWO,
         [](const termios& t) { return (t.c_cflag & CSTOPB) != 0; }},
        {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE,
         [](const termios& t) { return !(t.c_cflag & CSTOPB); }},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_XON_XOFF,
         [](const termios& t) {
             return (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF) && !(t.c_cflag & CRTSCTS);
         }},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_RTS_CTS,
         [](const termios& t) { return (t.c_cflag & CRTSCTS) && !(t.c_iflag & IXON); }},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS,
         [](const termios& t) { return (t.c_cflag & CRTSCTS) && (t.c_iflag & IXOFF); }},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_NONE,
         [](const termios& t) { return !(t.c_cflag & CRTSCTS) && !(t.c_iflag & (IXON | IXOFF)); }},
        {VI_ATTR_ASRL_XON_CHAR, 0x01, [](const termios& t) { return t.c_cc[VSTART] == 0x01; }},
        {VI_ATTR_ASRL_XOFF_CHAR, 0x02, [](const termios& t) { return t.c_cc[VSTOP] == 0x02; }},
        // The values the driver sets on every serial line.
        {VI_ATTR_ASRL_DATA_BITS, 8, [](const termios& t) { return (t.c_cflag & CSIZE) == CS8; }},
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_NONE,
         [](const termios& t) { return !(t.c_cflag & PARENB); }},
    };
    for (const LineCase& c : cases) {
        set(c.attr, c.value);
        EXPECT_TRUE(c.onLine(pty_.lineSettings()))
            << std::hex << c.attr << " = " << std::dec << c.value;
        EXPECT_EQ(get(c.attr), c.value) << std::hex << c.attr;
    }
}

// Linux pseudo terminals keep 8 data bits and no parity whatever is asked
// (real ports do not). A setting is read back from the line after it was
// applied, so it either shows on the line or is refused and undone.
TEST_F(VisaSerial, DataBitsAndParityShowOnTheLineOrAreRefused) {
    const LineCase cases[] = {
        {VI_ATTR_ASRL_DATA_BITS, 7, [](const termios& t) { return (t.c_cflag & CSIZE) == CS7; }},
        {VI_ATTR_ASRL_DATA_BITS, 5, [](const termios& t) { return (t.c_cflag & CSIZE) == CS5; }},
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_ODD,
         [](const termios& t) { return (t.c_cflag & (PARENB | PARODD)) == (PARENB | PARODD); }},
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_EVEN,
         [](const termios& t) { return (t.c_cflag & (PARENB | PARODD)) == PARENB; }},
#ifdef CMSPAR
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_MARK,
         [](const termios& t) {
             return (t.c_cflag & (PARENB | PARODD | CMSPAR)) == (PARENB | PARODD | CMSPAR);
         }},
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_SPACE,
         [](const termios& t) {
             return (t.c_cflag & (PARENB | PARODD | CMSPAR)) == (PARENB | CMSPAR);
         }},
#endif
    };
    for (const LineCase& c : cases) {
        const ViUInt32 before = get(c.attr);
        const termios lineBefore = pty_.lineSettings();
        const ViStatus status = viSetAttribute(vi_, c.attr, c.value);
        const termios line = pty_.lineSettings();
        if (status == VI_SUCCESS) {
            EXPECT_TRUE(c.onLine(line)) << std::hex << c.attr << " = " << std::dec << c.value;
            EXPECT_EQ(get(c.attr), c.value);
        } else {
            EXPECT_EQ(status, VI_ERROR_NSUP_ATTR_STATE);
            EXPECT_EQ(line.c_cflag, lineBefore.c_cflag);
            EXPECT_EQ(get(c.attr), before);
        }
    }
}

TEST_F(VisaSerial, UnsupportedSettingsLeaveTheLineAlone) {
    struct Case {
        ViAttr attr;
        ViAttrState value;
        ViStatus status;
    };
    const Case cases[] = {
        {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE5, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_DATA_BITS, 4, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_DATA_BITS, 9, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_BAUD, 12345, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_PARITY, 5, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_DTR_DSR, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_END_IN, VI_ASRL_END_LAST_BIT, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_END_OUT, VI_ASRL_END_BREAK, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_ASRL_AVAIL_NUM, 0, VI_ERROR_ATTR_READONLY},
        {VI_ATTR_TCPIP_NODELAY, VI_TRUE, VI_ERROR_NSUP_ATTR},
        {VI_ATTR_SUPPRESS_END_EN, VI_TRUE, VI_ERROR_NSUP_ATTR},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viSetAttribute(vi_, c.attr, c.value), c.status) << std::hex << c.attr;
    const termios t = pty_.lineSettings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB), static_cast<tcflag_t>(CS8));
}

TEST_F(VisaSerial, EndInTermcharEndsReads) {
    pty_.send("V1\nV2\n");
    ViStatus status;
    EXPECT_EQ(read(100, &status), "V1\n");
    EXPECT_EQ(status, VI_SUCCESS);  // END, not the enabled termination character
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    EXPECT_EQ(read(100, &status), "V2\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
}

TEST_F(VisaSerial, EndInNoneReadsUntilCountOrTimeout) {
    set(VI_ATTR_ASRL_END_IN, VI_ASRL_END_NONE);
    set(VI_ATTR_TMO_VALUE, 200);
    pty_.send("AB\n");
    ViStatus status;
    const auto start = Clock::now();
    EXPECT_EQ(read(10, &status), "AB\n");
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_GE(elapsedMs(start), 180);
    pty_.send("CDEF");
    EXPECT_EQ(read(2, &status), "CD");
    EXPECT_EQ(status, VI_SUCCESS_MAX_CNT);
}

TEST_F(VisaSerial, EndOutTermcharAppendsIt) {
    write("A1");
    EXPECT_EQ(pty_.receive(2), "A1");
    set(VI_ATTR_ASRL_END_OUT, VI_ASRL_END_TERMCHAR);
    set(VI_ATTR_TERMCHAR, '\r');
    write("B2");
    EXPECT_EQ(pty_.receive(3), "B2\r");
    set(VI_ATTR_SEND_END_EN, VI_FALSE);
    write("C3");
    EXPECT_EQ(pty_.receive(3, Ms(200)), "C3");
}

TEST_F(VisaSerial, FormattedQuery) {
    EXPECT_EQ(viPrintf(vi_, "VOLT %0.15lg\n", 2.5), VI_SUCCESS);
    EXPECT_EQ(pty_.receive(9), "VOLT 2.5\n");
    EXPECT_EQ(viPrintf(vi_, "MEAS?\n"), VI_SUCCESS);
    EXPECT_EQ(pty_.receive(6), "MEAS?\n");
    pty_.send("2.4987\n");
    ViReal64 v = 0;
    EXPECT_EQ(viScanf(vi_, "%lf%*t", &v), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 2.4987);
}

TEST_F(VisaSerial, AvailableBytes) {
    pty_.send("12345");
    const auto start = Clock::now();
    while (get(VI_ATTR_ASRL_AVAIL_NUM) < 5 && elapsedMs(start) < 2000)
        std::this_thread::sleep_for(Ms(1));
    EXPECT_EQ(get(VI_ATTR_ASRL_AVAIL_NUM), 5u);
}

TEST_F(VisaSerial, HangUpIsConnectionLost) {
    set(VI_ATTR_TMO_VALUE, 5000);
    pty_.hangUp();
    ViStatus status;
    const auto start = Clock::now();
    EXPECT_EQ(read(10, &status), "");
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    EXPECT_LT(elapsedMs(start), 1000);
}

// viClose wakes a call blocked on the line in another thread at once, with
// an infinite timeout, and the device is closed when that call returns.
TEST(VisaSerialClose, WakesABlockedCall) {
    struct Case {
        const char* name;
        ViStatus (*call)(ViSession vi);
    };
    const Case cases[] = {
        {"viRead",
         [](ViSession vi) {
             ViByte buf[16];
             ViUInt32 n = 0;
             return viRead(vi, buf, sizeof buf, &n);  // nothing ever comes
         }},
        {"viWrite",
         [](ViSession vi) {
             const std::string text(1 << 20, 'x');  // far more than the terminal holds
             ViUInt32 n = 0;
             return viWrite(vi, reinterpret_cast<ViConstBuf>(text.data()),
                            static_cast<ViUInt32>(text.size()), &n);
         }},
    };
    for (const Case& c : cases) {
        Pty pty;
        ResourceManager rm;
        ViSession vi = VI_NULL;
        ASSERT_EQ(rm.open(pty.resource(), &vi), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
        std::promise<ViStatus> result;
        std::future<ViStatus> done = result.get_future();
        std::thread caller([&] { result.set_value(c.call(vi)); });
        // The call cannot say that it is blocked; closing earlier only makes
        // it fail with INV_OBJECT instead, which the check accepts too.
        std::this_thread::sleep_for(Ms(100));
        const auto start = Clock::now();
        EXPECT_EQ(viClose(vi), VI_SUCCESS) << c.name;
        const bool woken = done.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        EXPECT_TRUE(woken) << c.name;
        if (!woken) pty.hangUp();  // frees the caller, so that the test can end
        caller.join();
        EXPECT_LT(elapsedMs(start), 1000) << c.name;
        const ViStatus status = done.get();
        EXPECT_TRUE(status == VI_ERROR_ABORT || status == VI_ERROR_INV_OBJECT)
            << c.name << ": " << std::hex << status;
        EXPECT_EQ(descriptorsOpenOn(pty.slavePath()), 0) << c.name;
    }
}

// One timeout bounds a whole call, however many transfers it makes: the
// terminal takes bytes only as fast as a slow instrument reads them.
TEST(VisaSerialDeadline, OneTimeoutBoundsTheWholeCall) {
    constexpr ViUInt32 kTimeoutMs = 1000;
    struct Case {
        const char* name;
        PtyReader::Pace pace;
        void (*setUp)(ViSession vi, Pty& pty);
        ViStatus (*call)(ViSession vi);
    };
    static const std::string kLongText(2 << 20, 'x');   // 2 MiB: seconds at this pace
    static const std::string kQuestion(64 << 10, 'q');  // longer than the terminal holds
    const Case cases[] = {
        // Every 4 KiB flushed waits only ~10 ms, the whole text far longer.
        {"viPrintf of a long text",
         {Ms(0), 4096, Ms(10)},
         [](ViSession, Pty&) {},
         [](ViSession vi) { return viPrintf(vi, "%s", kLongText.c_str()); }},
        // Sending takes most of the timeout; no answer ever comes.
        {"viQueryf",
         {Ms(800), 65536, Ms(0)},
         [](ViSession, Pty&) {},
         [](ViSession vi) {
             char answer[16];
             return viQueryf(vi, "%s\n", "%t", kQuestion.c_str(), answer);
         }},
        // The write buffer waits behind a full terminal; the read buffer
        // holds a message whose END never comes.
        {"viFlush of both buffers",
         {Ms(800), 65536, Ms(0)},
         [](ViSession vi, Pty& pty) {
             pty.send("AB");
             char c = 0;
             ASSERT_EQ(viScanf(vi, "%c", &c), VI_SUCCESS);
             ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
             ViUInt32 n = 0;
             ASSERT_EQ(viWrite(vi, reinterpret_cast<ViConstBuf>(kQuestion.data()),
                               static_cast<ViUInt32>(kQuestion.size()), &n),
                       VI_ERROR_TMO);
             ASSERT_EQ(viPrintf(vi, "tail"), VI_SUCCESS);
         },
         [](ViSession vi) { return viFlush(vi, VI_WRITE_BUF | VI_READ_BUF); }},
    };
    for (const Case& c : cases) {
        Pty pty;
        ResourceManager rm;
        ViSession vi = VI_NULL;
        ASSERT_EQ(rm.open(pty.resource(), &vi), VI_SUCCESS);
        c.setUp(vi, pty);
        ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, kTimeoutMs), VI_SUCCESS);
        PtyReader reader(pty, c.pace);
        const auto start = Clock::now();
        EXPECT_EQ(c.call(vi), VI_ERROR_TMO) << c.name;
        const long long ms = elapsedMs(start);
        EXPECT_GE(ms, kTimeoutMs - 30) << c.name;
        // Two timeouts would be 1800 ms here (800 ms of sending, then 1000).
        EXPECT_LT(ms, kTimeoutMs + 600) << c.name;
    }
}

TEST(VisaSerialOpen, Names) {
    Pty pty;
    ResourceManager rm;
    ViSession vi = 1;
    std::string lower = pty.resource();
    for (size_t i = 0; i < 4; ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
    lower.replace(lower.size() - 5, 5, "instr");
    EXPECT_EQ(rm.open(lower, &vi), VI_SUCCESS);
    char name[256];
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_NAME, name), VI_SUCCESS);
    EXPECT_EQ(name, "ASRL" + pty.slavePath() + "::INSTR");
    EXPECT_EQ(rm.open("ASRL/dev/qmdc-no-such-tty::INSTR", &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(rm.open("ASRL/dev/null::INSTR", &vi), VI_ERROR_RSRC_NFOUND);  // not a terminal
}

}  // namespace
