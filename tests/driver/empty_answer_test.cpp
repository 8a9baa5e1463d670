// Answers that hold nothing, or stop half way, against the scans that write
// into a caller's buffer: the buffer always ends up terminated, an empty
// answer is an unexpected response rather than a success, and the next
// exchange gets its own answer.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "fake_instrument.h"
#include "scripted_session.h"
#include "visa.h"

using qmdc_test::ErrorDescription;
using qmdc_test::FakeInstrument;
using qmdc_test::ScriptedSession;
using qmdc_test::Session;

namespace {

const char* const kEmptyErrorAnswer =
    "Unexpected response from instrument.  The answer to SYST:ERR? is empty.";

struct NextErrorCase {
    const char* name;
    const char* reply;  // sent as given
    ViInt32 bufferSize;
    ViStatus status;
    const char* value;        // what the buffer holds afterwards
    const char* description;  // nullptr: none recorded
};

const NextErrorCase kNextErrorCases[] = {
    {"bare code", "0\n", 64, VI_SUCCESS, "0", nullptr},
    {"empty line", "\n", 64, QMDC_ERROR_UNEXPECTED_RESPONSE, "", kEmptyErrorAnswer},
    {"empty line, buffer of one", "\n", 1, QMDC_ERROR_UNEXPECTED_RESPONSE, "", kEmptyErrorAnswer},
    {"empty line, no buffer", "\n", 0, QMDC_ERROR_UNEXPECTED_RESPONSE, nullptr, kEmptyErrorAnswer},
    {"answer into a buffer of one", "-113,\"Undefined header\"\n", 1, VI_SUCCESS, "", nullptr},
    {"answer cut to the buffer", "-113,\"Undefined header\"\n", 5, VI_SUCCESS, "-113", nullptr},
    {"whole answer", "-222,\"Data out of range\"\n", 64, VI_SUCCESS, "-222,\"Data out of range\"",
     nullptr},
    {"line that never ends", "-113,\"Undefi", 64, VI_ERROR_TMO, "", nullptr},
    // A line ended in CR LF: the CR is no part of the answer.
    {"answer ending in CR LF", "-113,\"Undefined header\"\r\n", 64, VI_SUCCESS,
     "-113,\"Undefined header\"", nullptr},
    {"empty line ending in CR LF", "\r\n", 64, QMDC_ERROR_UNEXPECTED_RESPONSE, "",
     kEmptyErrorAnswer},
};

TEST(EmptyAnswer, GetNextErrorNeverLeavesTheBufferAsItWas) {
    // A healthy supply whose next SYST:ERR? answer each case sets, sent as
    // given; the one after it is the empty queue again.
    ScriptedSession session("QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ASSERT_EQ(QmDC_SetAttributeViInt32(session.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, 300),
              VI_SUCCESS);
    for (const NextErrorCase& c : kNextErrorCases) {
        SCOPED_TRACE(c.name);
        QmDC_ClearError(session.vi());
        session.answers().SetNext("SYST:ERR?", c.reply);
        // Stale bytes and no terminator, as an uninitialised buffer holds.
        ViChar value[65];
        std::memset(value, '#', sizeof value);
        EXPECT_EQ(QmDC_GetNextError(session.vi(), c.bufferSize, value), c.status);
        if (c.value != nullptr) {
            ASSERT_NE(std::memchr(value, '\0', static_cast<size_t>(c.bufferSize)), nullptr);
            EXPECT_STREQ(value, c.value);
        }
        EXPECT_EQ(value[c.bufferSize], '#') << "written beyond the buffer size";
        EXPECT_EQ(ErrorDescription(session.vi()), c.description ? c.description : "");
        // The exchange is over: the next question gets its own answer.
        ViChar next[64] = {};
        EXPECT_EQ(QmDC_GetNextError(session.vi(), sizeof next, next), VI_SUCCESS);
        EXPECT_STREQ(next, "0,\"No error\"");
    }
}

// A text attribute read from the instrument: a buffer of one holds only the
// terminator, and that is no empty answer but a text cut short (the warning
// carries the size that always suffices).
TEST(EmptyAnswer, TextAttributeIntoABufferOfOneIsNoEmptyAnswer) {
    ScriptedSession session("Cache=0");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    session.answers().Set("SYST:VERS?", "1999.0\n");
    ViChar value[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(QmDC_GetAttributeViString(session.vi(), "", QMDC_ATTR_SCPI_VERSION, 1, value), 4096);
    EXPECT_EQ(value[0], '\0');
    EXPECT_EQ(value[1], '#');
}

struct IdentityCase {
    const char* name;
    std::string reply;
    ViStatus status;
    std::string description;
};

const std::string kLongLine = std::string(200, 'w') + "\n";

const IdentityCase kIdentityCases[] = {
    {"empty line", "\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
     "Unexpected response from instrument.  The answer to *IDN? is empty."},
    {"empty line with a carriage return", "\r\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
     "Unexpected response from instrument.  The answer to *IDN? is empty."},
    // Without a comma the model is empty: the answer is quoted instead.
    {"no model field", "Orvane\n", QMDC_ERROR_CANNOT_RECOVER,
     "Failure cannot recover.  Unrecognized model: (none; the instrument answered 'Orvane')"},
    {"a web server", "HTTP/1.1 400 Bad Request\r\n", QMDC_ERROR_CANNOT_RECOVER,
     "Failure cannot recover.  Unrecognized model: (none; the instrument answered 'HTTP/1.1 400 "
     "Bad Request')"},
    {"control characters", "\x1b[2J>\tready\n", QMDC_ERROR_CANNOT_RECOVER,
     "Failure cannot recover.  Unrecognized model: (none; the instrument answered "
     "'\\x1B[2J>\\x09ready')"},
    {"a long line, cut", kLongLine, QMDC_ERROR_CANNOT_RECOVER,
     "Failure cannot recover.  Unrecognized model: (none; the instrument answered '" +
         std::string(80, 'w') + "...')"},
};

TEST(EmptyAnswer, IdentificationThatHoldsNothingFailsInit) {
    for (const IdentityCase& c : kIdentityCases) {
        SCOPED_TRACE(c.name);
        FakeInstrument instrument([&](const std::string& line) -> std::optional<std::string> {
            if (line == "*IDN?") return c.reply;
            return std::nullopt;
        });
        Session session(instrument.Resource());
        EXPECT_EQ(session.status(), c.status);
        EXPECT_EQ(session.vi(), VI_NULL);
        EXPECT_EQ(ErrorDescription(VI_NULL), c.description);
    }
}

}  // namespace
