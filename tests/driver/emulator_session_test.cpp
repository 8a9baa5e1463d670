// The driver against the instrument emulator over real TCP sockets and a
// pseudo-terminal: init and close, utility functions, the error queue,
// timeouts and lost connections.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "QmDC.h"
#include "driver/io_attribute_callbacks.h"
#include "driver/orvane_session.h"
#include "driver_test_support.h"
#include "emulator_process.h"
#include "kiln/session/call_frame.h"
#include "visa.h"

using qmdc::testing::EmulatorProcess;
using qmdc_test::ErrorDescription;
using qmdc_test::Session;

namespace {

ViSession Io(ViSession vi) {
    return kiln::FindSession(vi)->VisaInstrumentSession();
}

// Sends a command line through direct I/O.
ViStatus Send(ViSession vi, const std::string& line) {
    return QmDC_viWrite(vi, static_cast<ViInt64>(line.size()),
                        reinterpret_cast<ViByte*>(const_cast<char*>(line.data())), nullptr);
}

std::string Read(ViSession vi, ViStatus* status = nullptr) {
    ViByte buffer[512] = {};
    ViInt64 count = 0;
    const ViStatus s = QmDC_viRead(vi, sizeof buffer - 1, buffer, &count);
    if (status) *status = s;
    return std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(count));
}

}  // namespace

TEST(EmulatorSession, InitIdentifiesTheSupplyAndTheUtilitiesAnswer) {
    EmulatorProcess emulator({"--model", "Bench 100-10 QM", "--firmware", "4.2"});
    Session session(emulator.resource(), "QueryInstrStatus=1", VI_TRUE, VI_TRUE);
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = session.vi();
    auto* s = static_cast<OrvaneDCDriverSession*>(kiln::FindSession(vi));
    EXPECT_EQ(s->GetInstrumentModel(), "Bench 100-10 QM");
    EXPECT_DOUBLE_EQ(s->MaxVoltage(), 100.0);
    EXPECT_DOUBLE_EQ(s->MaxPower(), 600.0);

    ViInt16 result = -1;
    ViChar text[256], instrument[256];
    EXPECT_EQ(QmDC_self_test(vi, &result, text), VI_SUCCESS);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(text, "Selftest passed");
    EXPECT_EQ(QmDC_revision_query(vi, text, instrument), VI_SUCCESS);
    EXPECT_STREQ(text, "1.0.0.0");
    EXPECT_STREQ(instrument, "4.2");
    ViInt32 code = -1;
    EXPECT_EQ(QmDC_error_query(vi, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(QmDC_ResetWithDefaults(vi), VI_SUCCESS);
    EXPECT_EQ(QmDC_Disable(vi), VI_SUCCESS);
    EXPECT_EQ(QmDC_ClearStatus(vi), VI_SUCCESS);
}

// An instrument that ends its answers in CR LF reads as one that ends them
// in LF: no answer keeps the carriage return.
TEST(EmulatorSession, AnswersEndingInCrLfReadAsTheirText) {
    EmulatorProcess emulator({"--eol", "crlf", "--firmware", "4.2"});
    Session session(emulator.resource(), "QueryInstrStatus=1, Cache=0");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = session.vi();
    ViChar text[256] = {}, instrument[256] = {};
    EXPECT_EQ(QmDC_revision_query(vi, text, instrument), VI_SUCCESS);
    EXPECT_STREQ(instrument, "4.2");
    EXPECT_EQ(QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION, sizeof text,
                                        text),
              VI_SUCCESS);
    EXPECT_STREQ(text, "4.2");
    EXPECT_EQ(QmDC_GetAttributeViString(vi, "", QMDC_ATTR_SCPI_VERSION, sizeof text, text),
              VI_SUCCESS);
    EXPECT_STREQ(text, "1999.0");
    ViInt32 code = -1;
    EXPECT_EQ(QmDC_error_query(vi, &code, text), VI_SUCCESS);
    EXPECT_STREQ(text, "No error");
}

TEST(EmulatorSession, RejectedCommandReachesTheErrorQueueAndTheStatusCheck) {
    EmulatorProcess emulator;
    Session session(emulator.resource(), "QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ASSERT_EQ(Send(session.vi(), "BOGUS:HEADER 1\n"), VI_SUCCESS);
    ViChar line[256];
    EXPECT_EQ(QmDC_GetNextError(session.vi(), sizeof line, line), QMDC_ERROR_INSTRUMENT_STATUS);
    EXPECT_STREQ(line, "-113,\"Undefined header\"");
    ASSERT_EQ(Send(session.vi(), "VOLT 1e9\n"), VI_SUCCESS);
    ViInt32 code = 0;
    EXPECT_EQ(QmDC_error_query(session.vi(), &code, line), VI_SUCCESS);
    EXPECT_EQ(code, -222);
    EXPECT_STREQ(line, "Data out of range");
}

TEST(EmulatorSession, ModelOutsideTheGrammarFailsAndFreesTheInstrument) {
    EmulatorProcess emulator({"--model", "Desk 30-70 QM"});
    Session failed(emulator.resource());
    EXPECT_EQ(failed.status(), QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_EQ(ErrorDescription(VI_NULL),
              "Failure cannot recover.  Unrecognized model: Desk 30-70 QM");
    // The emulator serves one client at a time: a second client is answered
    // only because the driver closed its connection.
    Session again(emulator.resource(), "", VI_FALSE);
    EXPECT_EQ(again.status(), QMDC_ERROR_CANNOT_RECOVER);
}

TEST(EmulatorSession, ModelOfTheGrammarOutsideTheListIsAccepted) {
    EmulatorProcess emulator({"--model", "Rack 60-25 QM"});
    Session session(emulator.resource());
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    EXPECT_DOUBLE_EQ(
        static_cast<OrvaneDCDriverSession*>(kiln::FindSession(session.vi()))->MaxCurrent(), 25.0);
}

TEST(EmulatorSession, TimedOutReadLeavesTheNextQueryItsOwnAnswer) {
    EmulatorProcess emulator({"--no-reply", "MEAS:VOLT?"});
    Session session(emulator.resource());
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ASSERT_EQ(viSetAttribute(Io(session.vi()), VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ASSERT_EQ(Send(session.vi(), "MEAS:VOLT?\n"), VI_SUCCESS);
    const auto start = std::chrono::steady_clock::now();
    ViStatus status = 0;
    Read(session.vi(), &status);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_GE(elapsed, std::chrono::milliseconds(180));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    ASSERT_EQ(Send(session.vi(), "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(Read(session.vi(), &status).substr(0, 20), "Orvane,Rack 30-70 QM");
}

TEST(EmulatorSession, DroppedConnectionIsReportedAsLost) {
    EmulatorProcess emulator({"--drop-after", "1"});
    Session session(emulator.resource(), "", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ViInt16 result = 0;
    ViChar text[256];
    EXPECT_EQ(QmDC_self_test(session.vi(), &result, text), VI_ERROR_CONN_LOST);
}

TEST(EmulatorSession, SerialLineIsConfiguredForTheSupply) {
    EmulatorProcess emulator({"--pty"});
    ASSERT_EQ(emulator.resource().rfind("ASRL/dev/", 0), 0u) << emulator.resource();
    Session session(emulator.resource());
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession io = Io(session.vi());
    struct Expected {
        ViAttr attribute;
        ViUInt32 value;
    };
    const Expected settings[] = {
        {VI_ATTR_ASRL_BAUD, 57600},
        {VI_ATTR_ASRL_DATA_BITS, 8},
        {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_NONE},
        {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE},
        {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_NONE},
        {VI_ATTR_ASRL_END_IN, VI_ASRL_END_TERMCHAR},
        {VI_ATTR_ASRL_END_OUT, VI_ASRL_END_NONE},
    };
    for (const Expected& e : settings) {
        ViUInt32 value = 0xDEAD;
        if (e.attribute == VI_ATTR_ASRL_BAUD) {
            ASSERT_EQ(viGetAttribute(io, e.attribute, &value), VI_SUCCESS);
        } else {
            ViUInt16 small = 0xDEAD;
            ASSERT_EQ(viGetAttribute(io, e.attribute, &small), VI_SUCCESS);
            value = small;
        }
        EXPECT_EQ(value, e.value) << std::hex << e.attribute;
    }
    ViInt32 code = -1;
    ViChar text[256];
    EXPECT_EQ(QmDC_error_query(session.vi(), &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
}

TEST(EmulatorSession, AbsentAndMalformedResources) {
    // A closed loopback port: refused at once.
    QmDC_error_message(VI_NULL, 0, nullptr);  // leaves an unrelated description behind
    Session refused("TCPIP0::127.0.0.1::1::SOCKET");
    EXPECT_EQ(refused.status(), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(refused.vi(), VI_NULL);
    // VISA's own text for the status replaces the stale description.
    ViStatus code = 0;
    const std::string description = ErrorDescription(VI_NULL, &code);
    EXPECT_EQ(code, VI_ERROR_RSRC_NFOUND);
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(description.find("Null pointer"), std::string::npos);
    Session malformed("TCPIP0::127.0.0.1::notaport::SOCKET");
    EXPECT_EQ(malformed.status(), VI_ERROR_INV_RSRC_NAME);
}

TEST(Lifecycle, ThousandInitCloseCyclesInSimulation) {
    for (int i = 0; i < 1000; ++i) {
        ViSession vi = VI_NULL;
        ASSERT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>("ASRL1::INSTR"), VI_TRUE, VI_TRUE,
                                       "Simulate=1", &vi),
                  VI_SUCCESS);
        ASSERT_EQ(QmDC_close(vi), VI_SUCCESS);
    }
}

TEST(Lifecycle, ThousandInitCloseCyclesAgainstTheEmulator) {
    EmulatorProcess emulator;
    for (int i = 0; i < 1000; ++i) {
        ViSession vi = VI_NULL;
        ASSERT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>(emulator.resource().c_str()), VI_TRUE,
                                       VI_FALSE, "", &vi),
                  VI_SUCCESS)
            << "cycle " << i << ": " << ErrorDescription(VI_NULL);
        ASSERT_EQ(QmDC_close(vi), VI_SUCCESS);
    }
}

TEST(Lifecycle, FailedInitsLeaveNothingBehind) {
    for (int i = 0; i < 200; ++i) {
        ViSession vi = 77;
        EXPECT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>("ASRL1::INSTR"), VI_TRUE, VI_FALSE,
                                       "Simulate=1, InterchangeCheck=1", &vi),
                  QMDC_ERROR_BAD_OPTION_VALUE);
        EXPECT_EQ(vi, VI_NULL);
    }
    EXPECT_EQ(ErrorDescription(VI_NULL),
              "The 'True' value in the option string is unknown.  Interchange checking is not "
              "supported by the driver.");
    EXPECT_EQ(QmDC_init(const_cast<ViChar*>("ASRL1::INSTR"), VI_TRUE, VI_FALSE, nullptr),
              QMDC_ERROR_NULL_POINTER);
}

TEST(IoAttributes, ReachTheVisaSessionOrRefuseInSimulation) {
    EmulatorProcess emulator;
    Session session(emulator.resource());
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ViSession io = 0;
    EXPECT_EQ(qmdc::GetSystemIoSession(session.vi(), "", &io), VI_SUCCESS);
    EXPECT_EQ(io, Io(session.vi()));
    EXPECT_EQ(qmdc::SetSystemIoTimeout(session.vi(), nullptr, 4321), VI_SUCCESS);
    ViInt32 timeout = 0;
    EXPECT_EQ(qmdc::GetSystemIoTimeout(session.vi(), nullptr, &timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 4321);
    EXPECT_EQ(qmdc::GetSystemIoSession(session.vi(), "", nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(session.vi()),
              "Null pointer passed for function 'QmDC_get_SYSTEM_IO_SESSION', parameter "
              "'AttributeValue'.");

    auto simulated = qmdc_test::Simulated();
    EXPECT_EQ(qmdc::GetSystemIoSession(simulated->vi(), "", &io), QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(qmdc::SetSystemIoTimeout(simulated->vi(), "", 10), QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(qmdc::GetSystemIoTimeout(simulated->vi(), "", &timeout), QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(ErrorDescription(simulated->vi()),
              "I/O error.  Direct I/O operations are not available in simulation mode.");
    EXPECT_EQ(qmdc::GetSystemIoTimeout(12345, "", &timeout), QMDC_ERROR_INVALID_SESSION_HANDLE);
}
