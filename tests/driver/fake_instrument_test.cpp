// The driver against a scripted instrument: the status check, the error
// queue, self-test, reset, init's exchanges and direct I/O, byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "QmDC.h"
#include "driver/orvane_session.h"
#include "driver_test_support.h"
#include "fake_instrument.h"
#include "kiln/lifecycle/session_lifecycle.h"
#include "kiln/session/call_frame.h"
#include "visa.h"

using qmdc_test::ErrorDescription;
using qmdc_test::FakeInstrument;
using qmdc_test::Session;

namespace {

// Answers like a healthy supply; the *ESR? and SYST:ERR? answers and the
// identity can be changed while the test runs.
struct Script {
    std::atomic<int> esr{0};
    std::string errorLine = "0,\"No error\"";
    std::string identity = "Orvane,Rack 30-70 QM,SN42,2.1.0";
    std::string selfTest = "0";
    bool answerOpc = true;

    FakeInstrument::Responder Responder() {
        return [this](const std::string& line) -> std::optional<std::string> {
            if (line == "*IDN?") return identity + "\n";
            if (line == "*ESR?") return std::to_string(esr.exchange(0)) + "\n";
            if (line == "*OPC?")
                return answerOpc ? std::optional<std::string>("1\n") : std::nullopt;
            if (line == "*TST?") return selfTest + "\n";
            if (line == "SYST:ERR?" || line == ":SYST:ERR?") return errorLine + "\n";
            if (line == "BIG?") return std::string(100, 'b') + "\n";
            return std::nullopt;
        };
    }
};

std::unique_ptr<kiln::DriverSession> ShortTimeouts(ViSession handle) {
    return std::make_unique<OrvaneDCDriverSession>(handle, 2000, 300, 300, false, 1000);
}

}  // namespace

TEST(StatusCheck, ErrorBitsOfTheEventRegisterFailTheCall) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    for (int esr : {0, 1, 2, 64, 128}) {
        script.esr = esr;
        EXPECT_EQ(QmDC_ClearStatus(session.vi()), VI_SUCCESS) << esr;
    }
    for (int esr : {4, 8, 16, 32, 4 | 128}) {
        script.esr = esr;
        EXPECT_EQ(QmDC_ClearStatus(session.vi()), QMDC_ERROR_INSTRUMENT_STATUS) << esr;
        EXPECT_EQ(ErrorDescription(session.vi()),
                  "Instrument error detected.  Use ErrorQuery() to determine the error(s).");
    }
}

TEST(StatusCheck, AnswerWithoutANumberIsNotTakenForSuccess) {
    Script script;
    FakeInstrument instrument([&](const std::string& line) -> std::optional<std::string> {
        if (line == "*ESR?" && script.esr == 99) return std::string("garbage\n");
        if (line == "*TST?") return std::string("PASS\n");
        return script.Responder()(line);
    });
    Session session(instrument.Resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    script.esr = 99;
    EXPECT_EQ(QmDC_ClearStatus(session.vi()), QMDC_ERROR_UNEXPECTED_RESPONSE);
    EXPECT_EQ(
        ErrorDescription(session.vi()),
        "Unexpected response from instrument.  The answer to *ESR? holds no number that fits.");
    script.esr = 0;
    ViInt16 result = 0;
    ViChar message[256] = "untouched";
    EXPECT_EQ(QmDC_self_test(session.vi(), &result, message), QMDC_ERROR_UNEXPECTED_RESPONSE);
    EXPECT_STREQ(message, "untouched");
    // The next exchange is unaffected.
    EXPECT_EQ(QmDC_ClearStatus(session.vi()), VI_SUCCESS);
}

TEST(StatusCheck, IsNotSentWhenStatusQueriesAreOff) {
    Script script;
    script.esr = 32;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource());
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    EXPECT_EQ(QmDC_ClearStatus(session.vi()), VI_SUCCESS);
    ViChar text[256];
    EXPECT_EQ(QmDC_GetNextError(session.vi(), sizeof text, text), VI_SUCCESS);
    for (const auto& line : instrument.Received()) EXPECT_NE(line, "*ESR?");
}

TEST(ErrorQueue, ErrorQueryParsesTheAnswer) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS);
    struct Case {
        const char* line;
        ViInt32 code;
        const char* message;
    };
    const Case cases[] = {
        {"+0,\"No error\"", 0, "No error"},
        {"-222,\"Data out of range\"", -222, "Data out of range"},
        {" -113 , \"Undefined header\" \r", -113, "Undefined header"},
        {"-100,\"Command error; a, b, c\"", -100, "Command error; a, b, c"},
    };
    for (const Case& c : cases) {
        script.errorLine = c.line;
        ViInt32 code = 99;
        ViChar message[256] = {};
        EXPECT_EQ(QmDC_error_query(session.vi(), &code, message), VI_SUCCESS) << c.line;
        EXPECT_EQ(code, c.code) << c.line;
        EXPECT_STREQ(message, c.message) << c.line;
    }
    // The error query itself runs no status check.
    const auto received = instrument.Received();
    EXPECT_EQ(received.back(), ":SYST:ERR?");
}

TEST(ErrorQueue, UnparsableAnswersAreReported) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource());
    ASSERT_EQ(session.status(), VI_SUCCESS);
    for (const char* line : {"No error at all", "abc,\"x\"", "99999999999,\"big\""}) {
        script.errorLine = line;
        ViInt32 code = 77;
        ViChar message[256] = "untouched";
        EXPECT_EQ(QmDC_error_query(session.vi(), &code, message), QMDC_ERROR_UNEXPECTED_RESPONSE);
        EXPECT_EQ(code, 77);
        EXPECT_STREQ(message, "untouched");
        EXPECT_EQ(ErrorDescription(session.vi()),
                  "Unexpected response from instrument.  Failed to parse the response to the "
                  "SYST:ERR? query.  The response is expected to be a comma-separated list of 2 "
                  "items in the form '<error code>,<error message>'.");
    }
    // An over-long line is cut to 255 characters, never overrunning the buffer.
    script.errorLine = "-1,\"" + std::string(1000, 'm') + "\"";
    ViInt32 code = 0;
    ViChar message[256];
    EXPECT_EQ(QmDC_error_query(session.vi(), &code, message), VI_SUCCESS);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(std::string(message), std::string(251, 'm'));
    // The rest of the long line was dropped: the next answer is its own.
    script.errorLine = "0,\"No error\"";
    EXPECT_EQ(QmDC_error_query(session.vi(), &code, message), VI_SUCCESS);
    EXPECT_STREQ(message, "No error");
}

TEST(ErrorQueue, GetNextErrorReturnsTheRawLineThenChecksStatus) {
    Script script;
    script.errorLine = "-113,\"Undefined header\"";
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS);
    ViChar value[64];
    EXPECT_EQ(QmDC_GetNextError(session.vi(), sizeof value, value), VI_SUCCESS);
    EXPECT_STREQ(value, "-113,\"Undefined header\"");
    const auto received = instrument.Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[received.size() - 2], "SYST:ERR?");
    EXPECT_EQ(received.back(), "*ESR?");
    // A small buffer gets the start of the line, terminated.
    ViChar small[6] = {'#', '#', '#', '#', '#', '#'};
    EXPECT_EQ(QmDC_GetNextError(session.vi(), 5, small), VI_SUCCESS);
    EXPECT_STREQ(small, "-113");
    EXPECT_EQ(small[5], '#');
}

TEST(SelfTest, NonZeroAnswerMeansFailed) {
    Script script;
    script.selfTest = "1";
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource());
    ASSERT_EQ(session.status(), VI_SUCCESS);
    ViInt16 result = 0;
    ViChar message[256];
    EXPECT_EQ(QmDC_self_test(session.vi(), &result, message), VI_SUCCESS);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(message, "Selftest failed");
}

TEST(Reset, SendsResetAndWaitsForCompletion) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS);
    const size_t before = instrument.Received().size();
    EXPECT_EQ(QmDC_reset(session.vi()), VI_SUCCESS);
    const auto received = instrument.Received();
    ASSERT_EQ(received.size(), before + 3);
    EXPECT_EQ(received[before], "*RST");
    EXPECT_EQ(received[before + 1], "*OPC?");
    EXPECT_EQ(received[before + 2], "*ESR?");
}

// The only test that sees the caller's I/O timeout restored after a reset
// or disable that failed: do not weaken it.
TEST(Reset, TimeoutRestoresTheCallersTimeout) {
    Script script;
    script.answerOpc = false;
    FakeInstrument instrument(script.Responder());
    ViSession vi = VI_NULL;
    ASSERT_EQ(kiln::CreateSession(instrument.Resource().c_str(), VI_TRUE, VI_FALSE, "", &vi,
                                  ShortTimeouts),
              VI_SUCCESS);
    const ViSession io = kiln::FindSession(vi)->VisaInstrumentSession();
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_TMO_VALUE, 1234), VI_SUCCESS);
    kiln::FindSession(vi)->Cache().real64[1150006][""].valid = true;

    EXPECT_EQ(QmDC_reset(vi), VI_ERROR_TMO);
    ViUInt32 timeout = 0;
    ASSERT_EQ(viGetAttribute(io, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 1234u);
    EXPECT_EQ(kiln::FindSession(vi)->Cache().real64.size(), 1u);  // cache kept
    EXPECT_EQ(QmDC_Disable(vi), VI_ERROR_TMO);
    ASSERT_EQ(viGetAttribute(io, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 1234u);
    EXPECT_EQ(QmDC_close(vi), VI_SUCCESS);
}

TEST(Init, ClearsStatusBeforeTheIdentificationQuery) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "QueryInstrStatus=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const auto received = instrument.Received();
    const std::vector<std::string> expected = {"*CLS", "*ESR?", "*IDN?", "*ESR?"};
    EXPECT_EQ(received, expected);
    auto* s = static_cast<OrvaneDCDriverSession*>(kiln::FindSession(session.vi()));
    EXPECT_EQ(s->GetInstrumentManufacturer(), "Orvane");
    EXPECT_EQ(s->GetInstrumentModel(), "Rack 30-70 QM");
    EXPECT_EQ(s->GetInstrumentSerialNumber(), "SN42");
    EXPECT_EQ(s->GetInstrumentFirmwareRevision(), "2.1.0");
    EXPECT_DOUBLE_EQ(s->MaxPower(), 1500.0);
}

// Instruments end their lines in LF or CR LF; neither is part of the
// revision, the last field of the identification.
TEST(Init, FirmwareRevisionLeavesTheLineEndingOut) {
    for (const char* ending : {"", "\r", "\r\r"}) {
        Script script;
        script.identity = std::string("Orvane,Rack 30-70 QM,SN42,1.2.3") + ending;  // then LF
        FakeInstrument instrument(script.Responder());
        Session session(instrument.Resource());
        ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
        ViChar revision[64] = {};
        EXPECT_EQ(
            QmDC_GetAttributeViString(session.vi(), "", QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION,
                                      sizeof revision, revision),
            VI_SUCCESS);
        EXPECT_STREQ(revision, "1.2.3") << std::strlen(ending) << " CR";
    }
}

TEST(Init, IdentificationIsSentEvenWithoutTheIdQuery) {
    Script script;
    script.identity = "Orvane, Bench 400-2.5 QM, SN1, 3.0";
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource(), "", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    EXPECT_EQ(instrument.Received(), std::vector<std::string>{"*IDN?"});
    // Fields are not trimmed: the blank after each comma stays.
    EXPECT_EQ(kiln::FindSession(session.vi())->GetInstrumentModel(), " Bench 400-2.5 QM");
}

TEST(Init, ModelThatFailsTheCheckClosesTheConnection) {
    Script script;
    script.identity = "Other,Rack30-70 QM,1,1";
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource());
    EXPECT_EQ(session.status(), QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_EQ(session.vi(), VI_NULL);
    EXPECT_EQ(ErrorDescription(VI_NULL),
              "Failure cannot recover.  Unrecognized model: Rack30-70 QM");
    EXPECT_TRUE(instrument.WaitForDisconnect());
}

TEST(Init, FailingResetLeavesAValidHandle) {
    Script script;
    FakeInstrument instrument([&](const std::string& line) -> std::optional<std::string> {
        if (line == "*RST") script.esr = 16;
        return script.Responder()(line);
    });
    ViSession vi = VI_NULL;
    EXPECT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>(instrument.Resource().c_str()), VI_TRUE, 2,
                                   "QueryInstrStatus=1", &vi),
              QMDC_ERROR_INSTRUMENT_STATUS);
    ASSERT_NE(vi, VI_NULL);
    EXPECT_FALSE(kiln::FindSession(vi)->ResetOnInitRequested());  // 2 is not VI_TRUE
    EXPECT_EQ(QmDC_ClearStatus(vi), VI_SUCCESS);
    EXPECT_EQ(QmDC_close(vi), VI_SUCCESS);
    EXPECT_TRUE(instrument.WaitForDisconnect());
}

TEST(DirectIo, OverlongResponseIsDrainedForTheNextQuery) {
    Script script;
    FakeInstrument instrument(script.Responder());
    Session session(instrument.Resource());
    ASSERT_EQ(session.status(), VI_SUCCESS);
    ViByte command[] = "BIG?\n";
    ViInt64 count = 0;
    ASSERT_EQ(QmDC_viWrite(session.vi(), 5, command, &count), VI_SUCCESS);
    EXPECT_EQ(count, 5);
    ViByte buffer[16] = {};
    EXPECT_EQ(QmDC_viRead(session.vi(), 10, buffer, &count), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), std::string(10, 'b'));
    ViByte identify[] = "*IDN?\n";
    ASSERT_EQ(QmDC_viWrite(session.vi(), 6, identify, nullptr), VI_SUCCESS);
    ViByte answer[64] = {};
    EXPECT_EQ(QmDC_viRead(session.vi(), sizeof answer, answer, nullptr), VI_SUCCESS_TERM_CHAR);
    EXPECT_STREQ(reinterpret_cast<char*>(answer), "Orvane,Rack 30-70 QM,SN42,2.1.0\n");
}

TEST(DirectIo, RefusedInSimulation) {
    auto session = qmdc_test::Simulated();
    ViByte buffer[4] = {'x', '\n'};
    ViInt64 count = 7;
    EXPECT_EQ(QmDC_viWrite(session->vi(), 2, buffer, &count), QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(ErrorDescription(session->vi()),
              "I/O error.  Direct I/O operations are not available in simulation mode.");
    EXPECT_EQ(QmDC_viRead(session->vi(), 2, buffer, &count), QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(count, 7);
}
