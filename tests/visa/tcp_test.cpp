// Sessions on TCPIP::...::SOCKET against a scripted peer on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace visatest;
using Clock = std::chrono::steady_clock;

class VisaTcp : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(rm_.open(peer_.resource(), &vi_), VI_SUCCESS); }

    void set(ViAttr attr, ViAttrState value) {
        ASSERT_EQ(viSetAttribute(vi_, attr, value), VI_SUCCESS);
    }
    void send(const std::string& text) {
        ViUInt32 n = 0;
        ASSERT_EQ(viWrite(vi_, reinterpret_cast<ViConstBuf>(text.data()),
                          static_cast<ViUInt32>(text.size()), &n),
                  VI_SUCCESS);
        ASSERT_EQ(n, text.size());
    }
    // One viRead; returns the bytes and stores the status.
    std::string read(ViUInt32 count, ViStatus* status) {
        std::string buf(count, '\0');
        ViUInt32 n = 12345;
        *status = viRead(vi_, reinterpret_cast<ViPBuf>(&buf[0]), count, &n);
        buf.resize(n);
        return buf;
    }
    bool peerGotLines(size_t n) {
        return peer_.waitFor([n](const ScriptedPeer::State& s) { return s.lines.size() >= n; });
    }

    ScriptedPeer peer_;
    ResourceManager rm_;
    ViSession vi_ = VI_NULL;
};

TEST_F(VisaTcp, IdentityAttributes) {
    struct {
        ViUInt16 value;
        unsigned char guard[6];
    } intf;
    std::memset(&intf, 0xA5, sizeof intf);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_INTF_TYPE, &intf.value), VI_SUCCESS);
    EXPECT_EQ(intf.value, VI_INTF_TCPIP);
    for (unsigned char g : intf.guard) EXPECT_EQ(g, 0xA5);  // exactly 2 bytes written

    char text[256];
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
    EXPECT_STREQ(text, "SOCKET");
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
    EXPECT_EQ(text, peer_.resource());
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
    EXPECT_STREQ(text, "127.0.0.1");
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_HOSTNAME, text), VI_SUCCESS);
    EXPECT_STREQ(text, "127.0.0.1");
    ViUInt16 port = 0;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_PORT, &port), VI_SUCCESS);
    EXPECT_EQ(port, peer_.port());
}

TEST_F(VisaTcp, DefaultsWriteTheirOwnSize) {
    unsigned char raw[8];
    std::memset(raw, 0xA5, sizeof raw);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TERMCHAR, raw), VI_SUCCESS);
    EXPECT_EQ(raw[0], 0x0A);
    EXPECT_EQ(raw[1], 0xA5);
    struct Case {
        ViAttr attr;
        ViUInt32 value;
        size_t size;
    };
    const Case cases[] = {
        {VI_ATTR_TMO_VALUE, 2000, 4},
        {VI_ATTR_TERMCHAR_EN, VI_FALSE, 2},
        {VI_ATTR_SEND_END_EN, VI_TRUE, 2},
        {VI_ATTR_SUPPRESS_END_EN, VI_TRUE, 2},
        {VI_ATTR_TCPIP_NODELAY, VI_TRUE, 2},
        {VI_ATTR_TCPIP_KEEPALIVE, VI_FALSE, 2},
        {VI_ATTR_IO_PROT, VI_PROT_NORMAL, 2},
        {VI_ATTR_INTF_NUM, 0, 2},
        {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL, 2},
        {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE, 2},
    };
    for (const Case& c : cases) {
        std::memset(raw, 0xA5, sizeof raw);
        ASSERT_EQ(viGetAttribute(vi_, c.attr, raw), VI_SUCCESS) << std::hex << c.attr;
        ViUInt32 v = 0;
        std::memcpy(&v, raw, c.size);
        EXPECT_EQ(v, c.value) << std::hex << c.attr;
        EXPECT_EQ(raw[c.size], 0xA5) << std::hex << c.attr;
    }
}

// The options are read from the socket itself, so this shows that the
// setting reached the kernel.
TEST_F(VisaTcp, SocketOptionsReallyApplied) {
    ViBoolean v = 99;
    set(VI_ATTR_TCPIP_NODELAY, VI_FALSE);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_NODELAY, &v), VI_SUCCESS);
    EXPECT_EQ(v, VI_FALSE);
    set(VI_ATTR_TCPIP_NODELAY, VI_TRUE);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_NODELAY, &v), VI_SUCCESS);
    EXPECT_EQ(v, VI_TRUE);
    set(VI_ATTR_TCPIP_KEEPALIVE, VI_TRUE);
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TCPIP_KEEPALIVE, &v), VI_SUCCESS);
    EXPECT_EQ(v, VI_TRUE);
}

TEST_F(VisaTcp, AttributeErrors) {
    ViUInt32 v = 0;
    EXPECT_EQ(viGetAttribute(vi_, 0x3FFF0FFFu, &v), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_ASRL_BAUD, &v), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_ASRL_BAUD, 9600), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, nullptr), VI_ERROR_USER_BUF);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR, 256), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL),
              VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_IO_PROT, 2), VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_INTF_TYPE, VI_INTF_TCPIP), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TCPIP_PORT, 1), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(viSetAttribute(vi_, 0x3FFF0FFFu, 0), VI_ERROR_NSUP_ATTR);
}

// A ViInt32 -1 arrives sign-extended where ViAttrState has 64 bits.
TEST_F(VisaTcp, NegativeTimeoutMeansInfinite) {
    set(VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(static_cast<ViInt32>(-1)));
    ViInt32 v = 0;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &v), VI_SUCCESS);
    EXPECT_EQ(static_cast<ViUInt32>(v), VI_TMO_INFINITE);
}

TEST_F(VisaTcp, BytesAfterTheTerminatorWaitForTheNextRead) {
    peer_.on("Q\n", "A\nBB\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    send("Q\n");
    ViStatus status;
    EXPECT_EQ(read(100, &status), "A\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(read(100, &status), "BB\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
}

TEST_F(VisaTcp, CountRules) {
    peer_.on("Q\n", "HELLO\nAB\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    send("Q\n");
    ViStatus status;
    EXPECT_EQ(read(3, &status), "HEL");
    EXPECT_EQ(status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(read(100, &status), "LO\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(read(3, &status), "AB\n");  // count reached on the terminator: not MAX_CNT
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
}

TEST_F(VisaTcp, SplitReplyIsOneMessage) {
    peer_.on("MEAS?\n", ScriptedPeer::Reply{{"12", "3", "4\n"}, Ms(0), Ms(20)});
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    send("MEAS?\n");
    ViStatus status;
    EXPECT_EQ(read(100, &status), "1234\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
    ViInt32 v = 0;
    EXPECT_EQ(viQueryf(vi_, "MEAS?\n", "%ld%*t", &v), VI_SUCCESS);
    EXPECT_EQ(v, 1234);
}

TEST_F(VisaTcp, WithoutTermcharAReadEndsOnlyOnCountOrTimeout) {
    peer_.on("Q\n", "AB\n");
    set(VI_ATTR_TMO_VALUE, 200);
    send("Q\n");
    ViStatus status;
    const auto start = Clock::now();
    EXPECT_EQ(read(10, &status), "AB\n");
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_GE(elapsedMs(start), 180);
}

TEST_F(VisaTcp, WithoutSuppressEndAReceiveEndsTheRead) {
    peer_.on("Q\n", "AB");
    set(VI_ATTR_SUPPRESS_END_EN, VI_FALSE);
    send("Q\n");
    ViStatus status;
    EXPECT_EQ(read(10, &status), "AB");
    EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(VisaTcp, TimeoutIsHonouredAndTheNextQueryGetsItsOwnAnswer) {
    peer_.on("PART\n", "12");  // never terminated
    peer_.on("SILENT\n", ScriptedPeer::Reply{});
    peer_.on("Q2\n", "two\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    set(VI_ATTR_TMO_VALUE, 300);
    ViInt32 v = -1;
    for (const char* cmd : {"SILENT\n", "PART\n"}) {
        const auto start = Clock::now();
        EXPECT_EQ(viQueryf(vi_, cmd, "%ld%*t", &v), VI_ERROR_TMO) << cmd;
        const long long ms = elapsedMs(start);
        EXPECT_GE(ms, 270) << cmd;
        EXPECT_LE(ms, 300 + 250) << cmd;
        char answer[16] = "";
        EXPECT_EQ(viQueryf(vi_, "Q2\n", "%t", answer), VI_SUCCESS);
        EXPECT_STREQ(answer, "two\n");
    }
    EXPECT_EQ(v, -1);  // the partial "12" was never a complete number
}

TEST_F(VisaTcp, LateAnswerIsNotTakenForTheNextOne) {
    peer_.on("SLOW\n", ScriptedPeer::Reply{{"late\n"}, Ms(300)});
    peer_.on("Q2\n", "two\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    set(VI_ATTR_TMO_VALUE, 100);
    char answer[16] = "";
    EXPECT_EQ(viQueryf(vi_, "SLOW\n", "%t", answer), VI_ERROR_TMO);
    ASSERT_TRUE(peer_.waitFor([](const ScriptedPeer::State& s) { return s.repliesSent == 1; }));
    set(VI_ATTR_TMO_VALUE, 2000);
    EXPECT_EQ(viQueryf(vi_, "Q2\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "two\n");
}

// A query drains the connection only when stale input may be waiting; each
// way of leaving input unread must still be caught.
TEST_F(VisaTcp, UnreadAnswersAreNotTakenForTheNextQuerysAnswer) {
    peer_.on("WRITTEN?\n", "unread\n");
    peer_.on("PARTLY?\n", "12 and more\n");
    peer_.on("Q\n", "mine\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    char answer[16] = "";
    auto repliesSent = [&](int n) {
        return peer_.waitFor([n](const ScriptedPeer::State& s) { return s.repliesSent == n; });
    };

    // A question written and never read.
    send("WRITTEN?\n");
    ASSERT_TRUE(repliesSent(1));
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "mine\n");

    // A scan that stopped inside its message.
    ViInt32 number = 0;
    EXPECT_EQ(viQueryf(vi_, "PARTLY?\n", "%ld", &number), VI_SUCCESS);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "mine\n");

    // A read cut by its count.
    send("WRITTEN?\n");
    ViStatus status;
    EXPECT_EQ(read(3, &status), "unr");
    EXPECT_EQ(status, VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "mine\n");

    // A scan's unread rest in the read buffer, then a whole answer read raw.
    peer_.on("PAIR?\n", "12,34\n");
    send("PAIR?\n");
    EXPECT_EQ(viScanf(vi_, "%ld", &number), VI_SUCCESS);
    EXPECT_EQ(number, 12);
    send("Q\n");
    EXPECT_EQ(read(16, &status), "mine\n");
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "mine\n");

    // An answer that arrives with more behind it: the rest is dropped.
    peer_.on("DOUBLE?\n", "one\ntwo\n");
    EXPECT_EQ(viQueryf(vi_, "DOUBLE?\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "one\n");
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "mine\n");
}

TEST_F(VisaTcp, ImmediateTimeout) {
    set(VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE);
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    ViStatus status;
    const auto start = Clock::now();
    EXPECT_EQ(read(10, &status), "");
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_LT(elapsedMs(start), 50);

    peer_.on("Q\n", "X\n");
    send("Q\n");
    ASSERT_TRUE(peer_.waitFor([](const ScriptedPeer::State& s) { return s.repliesSent == 1; }));
    // Loopback data is queued by the time send() returns on the peer.
    EXPECT_EQ(read(10, &status), "X\n");
    EXPECT_EQ(status, VI_SUCCESS_TERM_CHAR);
}

TEST_F(VisaTcp, InfiniteTimeoutWaits) {
    peer_.on("Q\n", ScriptedPeer::Reply{{"late\n"}, Ms(150)});
    set(VI_ATTR_TMO_VALUE, VI_TMO_INFINITE);
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    char answer[16] = "";
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%t", answer), VI_SUCCESS);
    EXPECT_STREQ(answer, "late\n");
}

TEST_F(VisaTcp, PeerClosingIsConnectionLostNotTimeout) {
    peer_.on("BYE\n", ScriptedPeer::Reply{{"bye"}, Ms(0), Ms(0), true});
    set(VI_ATTR_TMO_VALUE, 5000);
    send("BYE\n");
    ViStatus status;
    const auto start = Clock::now();
    EXPECT_EQ(read(100, &status), "bye");
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_EQ(read(100, &status), "");
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

// The instrument hangs up after an answer: whatever the session does next is
// reported as a lost connection, never as sent. A command asks before it is
// written; a query learns of it in the read of its answer (its write is not
// asked about); a query whose format fails writes nothing, and the command
// after it asks again.
TEST(VisaTcpPeerClosed, NothingIsReportedSentAfterTheClose) {
    struct Row {
        const char* name;
        bool badQueryFirst;  // a query whose write format fails comes first
        bool query;          // then a query, else a command
    };
    const Row rows[] = {
        {"command", false, false},
        {"query", false, true},
        {"command after a query that wrote nothing", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedPeer peer;
        peer.on("BYE?\n", ScriptedPeer::Reply{{"bye\n"}, Ms(0), Ms(0), true});
        ResourceManager rm;
        ViSession vi = VI_NULL;
        ASSERT_EQ(rm.open(peer.resource(), &vi), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
        char answer[16] = "";
        ASSERT_EQ(viQueryf(vi, "BYE?\n", "%t", answer), VI_SUCCESS);
        // The peer closes under its lock before it counts the reply, and on
        // loopback its end of stream is here by then.
        ASSERT_TRUE(peer.waitFor([](const ScriptedPeer::State& s) { return s.repliesSent == 1; }));
        if (row.badQueryFirst) {
            EXPECT_EQ(viQueryf(vi, "VOLT? %q\n", "%t", answer, 1), VI_ERROR_INV_FMT);
        }
        const ViStatus status = row.query ? viQueryf(vi, "VOLT?\n", "%t", answer)
                                          : viPrintf(vi, "VOLT 1\n");
        EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    }
}

TEST_F(VisaTcp, LargeWriteArrivesWhole) {
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    big.back() = '\n';
    send(big);
    ASSERT_TRUE(
        peer_.waitFor([&](const ScriptedPeer::State& s) { return s.bytes.size() >= big.size(); }));
    EXPECT_TRUE(peer_.state().bytes == big);
}

TEST_F(VisaTcp, PrintfSendsOneMessagePerLinefeed) {
    EXPECT_EQ(viPrintf(vi_, "VOLT %0.15lg", 1.5), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi_, ",%ld;%s\n", static_cast<ViInt32>(-3), "OUTP ON"), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi_, "JUNK"), VI_SUCCESS);
    EXPECT_EQ(viFlush(vi_, VI_WRITE_BUF_DISCARD), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi_, "*CLS"), VI_SUCCESS);
    EXPECT_EQ(viFlush(vi_, VI_WRITE_BUF), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi_, "\n"), VI_SUCCESS);
    ASSERT_TRUE(peerGotLines(2));
    const ScriptedPeer::State s = peer_.state();
    EXPECT_EQ(s.lines[0], "VOLT 1.5,-3;OUTP ON\n");
    EXPECT_EQ(s.lines[1], "*CLS\n");
    EXPECT_EQ(s.bytes, "VOLT 1.5,-3;OUTP ON\n*CLS\n");
}

TEST_F(VisaTcp, FullWriteBufferIsSentWithoutWaitingForTheLinefeed) {
    const std::string chunk(5000, 'x');
    EXPECT_EQ(viPrintf(vi_, "%s", chunk.c_str()), VI_SUCCESS);
    ASSERT_TRUE(peer_.waitFor([](const ScriptedPeer::State& s) { return s.bytes.size() >= 4096; }));
    EXPECT_EQ(peer_.state().bytes.size(), 4096u);
    EXPECT_EQ(viPrintf(vi_, "\n"), VI_SUCCESS);
    ASSERT_TRUE(peerGotLines(1));
    EXPECT_EQ(peer_.state().lines[0], chunk + "\n");
}

TEST_F(VisaTcp, BadFormatsSendNothing) {
    char buf[8];
    EXPECT_EQ(viPrintf(vi_, "VOLT %q\n", 1), VI_ERROR_INV_FMT);
    EXPECT_EQ(viQueryf(vi_, "Q\n", "%b", buf), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(viPrintf(vi_, "OK\n"), VI_SUCCESS);
    ASSERT_TRUE(peerGotLines(1));
    EXPECT_EQ(peer_.state().bytes, "OK\n");
}

TEST_F(VisaTcp, ScanfKeepsWhatItDidNotConsume) {
    peer_.on("Q\n", "1,2\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    EXPECT_EQ(viPrintf(vi_, "Q\n"), VI_SUCCESS);
    ViInt32 a = 0, b = 0;
    EXPECT_EQ(viScanf(vi_, "%ld,", &a), VI_SUCCESS);
    EXPECT_EQ(viScanf(vi_, "%ld%*t", &b), VI_SUCCESS);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

// Print, then scan, answer after answer: what a conversion leaves of a
// message before its END (its terminator, trailing blanks) is not taken for
// the next answer, whether the END came with the answer or only later.
TEST_F(VisaTcp, EachScanReadsItsOwnAnswer) {
    struct Case {
        const char* format;
        bool real;               // scans into a ViReal64, else into text
        const char* terminator;  // after each answer
        bool late;               // the terminator's last byte comes 30 ms after the rest
    };
    const Case cases[] = {
        {"%lf", true, "\n", false},     {"%lf", true, "\r\n", false},
        {"%lf", true, " \t\n", false},  {"%le", true, "\n", false},
        {"%s", false, "\n", false},     {"%s", false, "\r\n", false},
        {"%[^\n]", false, "\n", false}, {"%[^\r\n]", false, "\r\n", false},
        {"%lf,", true, ",\n", false},   {"%lf", true, "\n", true},
        {"%lf", true, "\r\n", true},    {"%s", false, " \n", true},
        {"%lf,", true, ",\n", true},
    };
    const char* const answers[] = {"1.5", "2.5", "3.5"};
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    set(VI_ATTR_TMO_VALUE, 1000);
    for (const Case& c : cases) {
        const std::string row =
            testing::PrintToString(std::string(c.format)) + " on answers ending in " +
            testing::PrintToString(std::string(c.terminator)) + (c.late ? ", late" : "");
        for (const char* answer : answers) {
            const std::string whole = answer + std::string(c.terminator);
            const size_t cut = c.late ? whole.size() - 1 : whole.size();
            ScriptedPeer::Reply reply{{whole.substr(0, cut)}, Ms(0), Ms(30)};
            if (c.late) reply.segments.push_back(whole.substr(cut));
            peer_.on(std::string("MEAS:VOLT? ") + answer + "\n", reply);
        }
        for (const char* answer : answers) {
            ASSERT_EQ(viPrintf(vi_, "MEAS:VOLT? %s\n", answer), VI_SUCCESS) << row;
            ViReal64 value = -1;
            char text[32] = "untouched";
            const ViStatus status =
                c.real ? viScanf(vi_, c.format, &value) : viScanf(vi_, c.format, text);
            EXPECT_EQ(status, VI_SUCCESS) << row << ", answer " << answer;
            if (c.real)
                EXPECT_EQ(value, std::strtod(answer, nullptr)) << row;
            else
                EXPECT_STREQ(text, answer) << row;
        }
    }
}

// What the first scan leaves is the second one's: the rest of a message
// whose END has not come yet (blanks included), or a message of its own.
TEST_F(VisaTcp, TheNextScanGoesOnWhereTheLastStopped) {
    struct Case {
        std::vector<std::string> reply;  // segments 50 ms apart
        const char* format;              // the first scan, which takes the first number
        ViReal64 first;
        const char* rest;  // what "%t" reads next
    };
    const Case cases[] = {
        {{"1,", "2\n"}, "%lf,", 1, "2\n"},
        {{"1 ", "2\n"}, "%lf", 1, " 2\n"},
        {{"1 ", " \t2\n"}, "%lf", 1, "  \t2\n"},
        {{"1.5\n2.5\n"}, "%lf", 1.5, "2.5\n"},  // two answers that arrive together
    };
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    for (const Case& c : cases) {
        const std::string row = testing::PrintToString(c.reply);
        peer_.on("Q\n", ScriptedPeer::Reply{c.reply, Ms(0), Ms(50)});
        EXPECT_EQ(viPrintf(vi_, "Q\n"), VI_SUCCESS);
        ViReal64 first = 0;
        char rest[16] = "";
        EXPECT_EQ(viScanf(vi_, c.format, &first), VI_SUCCESS) << row;
        EXPECT_EQ(viScanf(vi_, "%t", rest), VI_SUCCESS) << row;
        EXPECT_EQ(first, c.first) << row;
        EXPECT_STREQ(rest, c.rest) << row;
    }
}

TEST_F(VisaTcp, ReadBufferDiscardAndClear) {
    peer_.on("Q\n", "5 6\n");
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    set(VI_ATTR_TMO_VALUE, 100);
    EXPECT_EQ(viPrintf(vi_, "Q\n"), VI_SUCCESS);
    ViInt32 a = 0, b = -1;
    EXPECT_EQ(viScanf(vi_, "%ld", &a), VI_SUCCESS);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_SUCCESS);
    EXPECT_EQ(viScanf(vi_, "%ld", &b), VI_ERROR_TMO);  // the "6" went with the buffer
    EXPECT_EQ(b, -1);

    EXPECT_EQ(viPrintf(vi_, "Q\n"), VI_SUCCESS);
    ASSERT_TRUE(peer_.waitFor([](const ScriptedPeer::State& s) { return s.repliesSent == 2; }));
    EXPECT_EQ(viClear(vi_), VI_SUCCESS);
    ViStatus status;
    EXPECT_EQ(read(10, &status), "");
    EXPECT_EQ(status, VI_ERROR_TMO);
}

TEST_F(VisaTcp, FlushReadBufferSkipsToTheEndOfTheMessage) {
    peer_.on("Q\n", ScriptedPeer::Reply{{"AB", "CD\n", "NEXT\n"}, Ms(0), Ms(30)});
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    EXPECT_EQ(viPrintf(vi_, "Q\n"), VI_SUCCESS);
    char c = 0;
    EXPECT_EQ(viScanf(vi_, "%c", &c), VI_SUCCESS);
    EXPECT_EQ(c, 'A');
    EXPECT_EQ(viFlush(vi_, VI_READ_BUF), VI_SUCCESS);
    char line[16] = "";
    EXPECT_EQ(viScanf(vi_, "%t", line), VI_SUCCESS);
    EXPECT_STREQ(line, "NEXT\n");
    EXPECT_EQ(viFlush(vi_, VI_READ_BUF | VI_READ_BUF_DISCARD), VI_ERROR_INV_MASK);
    EXPECT_EQ(viFlush(vi_, 0), VI_ERROR_INV_MASK);
}

TEST_F(VisaTcp, DriverQueries) {
    peer_.on("*IDN?\n", "Orvane,DC1000,SN1,1.0\n");
    peer_.on("SOUR:FUNC?\n", "CURR\n");
    peer_.on("MEAS:VOLT?\n", "+1.250000E+01\n");
    peer_.on("*TST?\n", "0\n");
    peer_.on("*ESR?\n", ScriptedPeer::Reply{{"3", "2\n"}, Ms(0), Ms(10)});
    set(VI_ATTR_TERMCHAR_EN, VI_TRUE);
    char f[4][257];
    EXPECT_EQ(
        viQueryf(vi_, "*IDN?\n", "%256[^,],%256[^,],%256[^,],%256[^,]%*T", f[0], f[1], f[2], f[3]),
        VI_SUCCESS);
    EXPECT_STREQ(f[1], "DC1000");
    ViInt32 size = 256;
    char text[256];
    EXPECT_EQ(viQueryf(vi_, "SOUR:FUNC?\n", "%#[^\n]%*t", &size, text), VI_SUCCESS);
    EXPECT_STREQ(text, "CURR");
    ViReal64 volts = 0;
    EXPECT_EQ(viQueryf(vi_, "MEAS:VOLT?\n", "%lf%*t", &volts), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(volts, 12.5);
    ViInt16 selfTest = -1;
    EXPECT_EQ(viQueryf(vi_, "*TST?\n", "%hd%*T", &selfTest), VI_SUCCESS);
    EXPECT_EQ(selfTest, 0);
    ViInt32 esr = 0;
    EXPECT_EQ(viQueryf(vi_, "*ESR?\n", "%ld%*T", &esr), VI_SUCCESS);
    EXPECT_EQ(esr, 32);
}

TEST(VisaTcpOpen, RefusedConnectionIsNotFoundAndFast) {
    // A bound socket that does not listen refuses connections.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ResourceManager rm;
    ViSession vi = 77;
    const auto start = Clock::now();
    EXPECT_EQ(
        rm.open("TCPIP::127.0.0.1::" + std::to_string(ntohs(addr.sin_port)) + "::SOCKET", &vi),
        VI_ERROR_RSRC_NFOUND);
    EXPECT_LT(elapsedMs(start), 500);
    EXPECT_EQ(vi, VI_NULL);
    ::close(s);
    EXPECT_EQ(rm.open("TCPIP::no-such-host.invalid::5025::SOCKET", &vi), VI_ERROR_RSRC_NFOUND);
}

TEST(VisaTcpOpen, SessionsWorkInParallel) {
    ScriptedPeer peer;
    peer.on("A?\n", "alpha\n");
    peer.on("B?\n", "beta\n");
    ResourceManager rm;
    std::atomic<int> good{0};
    auto worker = [&](const char* cmd, const char* expected) {
        ViSession vi;
        if (rm.open(peer.resource(), &vi) != VI_SUCCESS) return;
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
        for (int i = 0; i < 50; ++i) {
            char answer[16] = "";
            if (viQueryf(vi, cmd, "%t", answer) == VI_SUCCESS && std::strcmp(answer, expected) == 0)
                ++good;
        }
        viClose(vi);
    };
    std::thread t1(worker, "A?\n", "alpha\n"), t2(worker, "B?\n", "beta\n");
    t1.join();
    t2.join();
    EXPECT_EQ(good, 100);
}

}  // namespace
