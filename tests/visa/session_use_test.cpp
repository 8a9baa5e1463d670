// One session used the hard way: a read into a small buffer whose data comes
// in pieces, a scan after a scan that timed out, and several threads on the
// session at once (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace visatest;

// The instrument on the other end of a session, TCP or a pseudo terminal: it
// sends `first`, then `second` a little later, so that a read gets them in two
// transfers (on TCP in answer to "GO\n").
class Instruments {
  public:
    std::string OverTcp(const std::string& first, const std::string& second) {
        peer_.on("GO\n", ScriptedPeer::Reply{{first, second}, Ms(0), Ms(100)});
        return peer_.resource();
    }
    std::string OverPty(const std::string& first, const std::string& second) {
        later_ = std::thread([this, first, second] {
            std::this_thread::sleep_for(Ms(100));  // the read has begun
            pty_.send(first);
            std::this_thread::sleep_for(Ms(100));
            pty_.send(second);
        });
        return pty_.resource();
    }
    ~Instruments() {
        if (later_.joinable()) later_.join();
    }

  private:
    ScriptedPeer peer_;
    Pty pty_;
    std::thread later_;
};

// A read that needs two transfers, the second longer than the room left in
// the caller's buffer: the buffer takes exactly its size, the rest waits for
// the next read, and the bytes after the buffer are never touched.
TEST(VisaSessionUse, ReadInPiecesStaysInASmallBuffer) {
    for (const bool tcp : {true, false}) {
        Instruments instruments;
        const std::string resource = tcp ? instruments.OverTcp("abcde", "fghijklmn\n")
                                         : instruments.OverPty("abcde", "fghijklmn\n");
        ResourceManager rm;
        ViSession vi = VI_NULL;
        ASSERT_EQ(rm.open(resource, &vi), VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
        ViUInt32 n = 0;
        if (tcp) {
            ASSERT_EQ(viWrite(vi, reinterpret_cast<ViConstBuf>("GO\n"), 3, &n), VI_SUCCESS);
        }
        constexpr size_t kSize = 8, kGuard = 32;
        std::vector<ViByte> buffer(kSize + kGuard, 0xA5);
        EXPECT_EQ(viRead(vi, buffer.data(), kSize, &n), VI_SUCCESS_MAX_CNT) << tcp;
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), "abcdefgh");
        EXPECT_EQ(std::vector<ViByte>(buffer.begin() + kSize, buffer.end()),
                  std::vector<ViByte>(kGuard, 0xA5))
            << "written past the buffer";
        EXPECT_EQ(viRead(vi, buffer.data(), kSize, &n), VI_SUCCESS_TERM_CHAR);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), "ijklmn\n");
    }
}

// Scan, timeout, scan: the first scan leaves the answer's "\r" (its line
// has not ended), the second waits for more and times out, which uses that
// message up: the third starts on the next message, not on the stale "\r".
TEST(VisaSessionUse, ScanAfterATimedOutScanReadsTheNewMessage) {
    ScriptedPeer peer;
    peer.on("Q1\n", "1.5\r");
    peer.on("Q2\n", "X\n");
    ResourceManager rm;
    ViSession vi = VI_NULL;
    ASSERT_EQ(rm.open(peer.resource(), &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "Q1\n"), VI_SUCCESS);
    double value = 0;
    EXPECT_EQ(viScanf(vi, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(viScanf(vi, "%lf", &value), VI_ERROR_TMO);
    ASSERT_EQ(viPrintf(vi, "Q2\n"), VI_SUCCESS);
    char c = 0;
    EXPECT_EQ(viScanf(vi, "%c", &c), VI_SUCCESS);
    EXPECT_EQ(c, 'X');
}

// Threads that share a session get one operation at a time: every line two
// writers print arrives whole, and a reader beside a writer reads whole
// answers.
TEST(VisaSessionUse, ThreadsSharingASessionNeverMixTheirBytes) {
    constexpr int kLines = 3000;
    ScriptedPeer peer;
    peer.on("Q\n", "answer\n");
    ResourceManager rm;
    ViSession vi = VI_NULL;
    ASSERT_EQ(rm.open(peer.resource(), &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    const auto writer = [vi](char tag) {
        for (int i = 0; i < kLines; ++i) viPrintf(vi, "%c%05d:%s\n", tag, i, "0123456789");
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    ASSERT_TRUE(
        peer.waitFor([](const ScriptedPeer::State& s) { return s.lines.size() >= 2 * kLines; }));
    for (const std::string& line : peer.state().lines) {
        ASSERT_EQ(line.size(), 18u) << line;
        EXPECT_TRUE(line[0] == 'A' || line[0] == 'B') << line;
        EXPECT_EQ(line.substr(6), ":0123456789\n") << line;
    }

    // A writer asks, a reader takes the answers as they come (a read that
    // waited would hold the session from the writer: timeout 0).
    constexpr int kQueries = 300;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 0), VI_SUCCESS);
    std::string answers;
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        while (answers.size() < kQueries * 7u && elapsedMs(start) < 10000) {
            ViByte buffer[64];
            ViUInt32 n = 0;
            viRead(vi, buffer, sizeof buffer, &n);
            answers.append(reinterpret_cast<const char*>(buffer), n);
        }
    });
    for (int i = 0; i < kQueries; ++i) viPrintf(vi, "Q\n");
    reader.join();
    std::string expected;
    for (int i = 0; i < kQueries; ++i) expected += "answer\n";
    EXPECT_EQ(answers, expected);
}

}  // namespace
