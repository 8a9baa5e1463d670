// QMDC_VISA_TRACE: every transfer on one line, bytes escaped.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "test_support.h"

namespace {

using namespace visatest;

std::string g_traceFile;

// "2024-05-01T12:34:56.123456Z ": '0' stands for any digit.
bool startsWithTimestamp(const std::string& line) {
    const std::string shape = "0000-00-00T00:00:00.000000Z ";
    if (line.size() < shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? !std::isdigit(static_cast<unsigned char>(line[i]))
                            : line[i] != shape[i])
            return false;
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// First in this file: the variable is read once per process, and the forked
// child must be the first to read it.
TEST(VisaTraceDeathTest, AFileThatCannotBeOpenedIsNamedOnceOnStderr) {
    const auto openTwice = [] {
        ::setenv("QMDC_VISA_TRACE", "/nonexistent-dir/trace.log", 1);
        ScriptedPeer peer;
        for (int i = 0; i < 2; ++i) {
            ResourceManager rm;
            ViSession vi = VI_NULL;
            if (rm.open(peer.resource(), &vi) != VI_SUCCESS) std::_Exit(2);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(openTwice(), testing::ExitedWithCode(0),
                "^QMDC_VISA_TRACE: cannot open '/nonexistent-dir/trace.log' for appending "
                "\\(No such file or directory\\); no trace.\n$");
}

TEST(VisaTrace, EachTransferIsOneEscapedLine) {
    ScriptedPeer peer;
    peer.on("*IDN?\n", "A\tB\x01\"\r\n");
    ResourceManager rm;
    ViSession vi = VI_NULL;
    ASSERT_EQ(rm.open(peer.resource(), &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    char answer[32];
    ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%t", answer), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 0), VI_SUCCESS);
    ViByte buf[4];
    ViUInt32 n = 0;
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &n), VI_ERROR_TMO);

    std::istringstream lines(readFile(g_traceFile));
    std::string write, read, timeout;
    std::getline(lines, write);
    std::getline(lines, read);
    std::getline(lines, timeout);
    const std::string rsrc = peer.resource();
    EXPECT_TRUE(startsWithTimestamp(write)) << write;
    EXPECT_TRUE(startsWithTimestamp(read)) << read;
    EXPECT_EQ(write.substr(28), rsrc + R"( write "*IDN?\n" 0x00000000 VI_SUCCESS)");
    EXPECT_EQ(read.substr(28), rsrc + R"( read "A\tB\x01\"\r\n" 0x3FFF0005 VI_SUCCESS_TERM_CHAR)");
    EXPECT_EQ(timeout.substr(28), rsrc + R"( read "" 0xBFFF0015 VI_ERROR_TMO)");
}

}  // namespace

int main(int argc, char** argv) {
    // Switched on before the first viOpen reads the variable.
    g_traceFile = "/tmp/qmdc_visa_trace_" + std::to_string(::getpid()) + ".log";
    ::setenv("QMDC_VISA_TRACE", g_traceFile.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::remove(g_traceFile.c_str());
    return rc;
}
