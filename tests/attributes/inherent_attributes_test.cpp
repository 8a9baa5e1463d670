// The inherent attributes: the driver's identity, the session's names and
// instrument, the six options with the refusals of interchange checking and
// of leaving simulation, and the channel count.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "fake_instrument.h"

using qmdc_test::ErrorDescription;
using qmdc_test::FakeInstrument;
using qmdc_test::Session;

namespace {

std::string Text(ViSession vi, ViAttr id) {
    ViChar buffer[1024] = "untouched";
    const ViStatus status = QmDC_GetAttributeViString(vi, "", id, sizeof buffer, buffer);
    return status == VI_SUCCESS ? buffer : "status " + std::to_string(status);
}

ViInt32 Int32(ViSession vi, ViAttr id) {
    ViInt32 value = -99;
    EXPECT_EQ(QmDC_GetAttributeViInt32(vi, "", id, &value), VI_SUCCESS) << id;
    return value;
}

ViBoolean Boolean(ViSession vi, ViAttr id) {
    ViBoolean value = 99;
    EXPECT_EQ(QmDC_GetAttributeViBoolean(vi, "", id, &value), VI_SUCCESS) << id;
    return value;
}

struct TextCase {
    ViAttr id;
    const char* simulated;
    const char* real;
};

TEST(InherentAttributes, TextsInSimulationAndFromTheInstrument) {
    FakeInstrument instrument(qmdc_test::HealthySupplyReplies("Acme,Bench 50-20 QM,SN7,4.2"));
    Session real(instrument.Resource(), "Cache=0, DriverSetup=Mode:fast");
    ASSERT_EQ(real.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    auto simulated = qmdc_test::Simulated("Simulate=1");
    const std::string resource = instrument.Resource();
    const std::string models =
        "Bench 100-10 QM,Bench 200-5 QM,Bench 30-33 QM,Bench 400-2.5 QM,Bench 50-20 QM,"
        "Rack 100-20 QM,Rack 200-10 QM,Rack 30-70 QM,Rack 400-5 QM,Rack 50-40 QM";
    const TextCase cases[] = {
        {QMDC_ATTR_SPECIFIC_DRIVER_DESCRIPTION, "IVI-C Driver for OrvaneDC",
         "IVI-C Driver for OrvaneDC"},
        {QMDC_ATTR_SPECIFIC_DRIVER_PREFIX, "QmDC", "QmDC"},
        {QMDC_ATTR_SPECIFIC_DRIVER_VENDOR, "Orvane", "Orvane"},
        {QMDC_ATTR_SPECIFIC_DRIVER_REVISION, "1.0.0.0", "1.0.0.0"},
        {QMDC_ATTR_GROUP_CAPABILITIES, "IviDCPwrBase,IviDCPwrMeasurement",
         "IviDCPwrBase,IviDCPwrMeasurement"},
        {QMDC_ATTR_SUPPORTED_INSTRUMENT_MODELS, models.c_str(), models.c_str()},
        {QMDC_ATTR_LOGICAL_NAME, "", ""},
        {QMDC_ATTR_IO_RESOURCE_DESCRIPTOR, "TCPIP0::sim::5025::SOCKET", resource.c_str()},
        {QMDC_ATTR_DRIVER_SETUP, "", "Mode:fast"},
        {QMDC_ATTR_INSTRUMENT_MANUFACTURER, "Orvane", "Acme"},
        {QMDC_ATTR_INSTRUMENT_MODEL, "Rack 30-70 QM", "Bench 50-20 QM"},
        {QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION, "Sim1.0.0.0", "4.2"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(Text(simulated->vi(), c.id), c.simulated) << c.id;
        EXPECT_EQ(Text(real.vi(), c.id), c.real) << c.id;
    }
    // Reading them never talks to the instrument.
    const auto received = instrument.Received().size();
    for (const TextCase& c : cases) Text(real.vi(), c.id);
    EXPECT_EQ(instrument.Received().size(), received);

    EXPECT_EQ(Int32(real.vi(), QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION), 3);
    EXPECT_EQ(Int32(real.vi(), QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION), 0);
    EXPECT_EQ(Int32(real.vi(), QMDC_ATTR_CHANNEL_COUNT), 1);
    EXPECT_EQ(Int32(simulated->vi(), QMDC_ATTR_CHANNEL_COUNT), 1);

    ViChar model[5];
    EXPECT_EQ(QmDC_GetAttributeViString(simulated->vi(), "", QMDC_ATTR_INSTRUMENT_MODEL,
                                        sizeof model, model),
              4096);
    EXPECT_STREQ(model, "Rack");
    ViChar revision[5];
    EXPECT_EQ(QmDC_GetAttributeViString(simulated->vi(), "", QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION,
                                        sizeof revision, revision),
              4096);
    EXPECT_STREQ(revision, "Sim1");
}

TEST(InherentAttributes, ConstantsAnswerForAnyHandleTheRestNeedASession) {
    const ViSession never = 0x7777;
    EXPECT_EQ(Text(never, QMDC_ATTR_SPECIFIC_DRIVER_PREFIX), "QmDC");
    EXPECT_EQ(Int32(never, QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION), 3);
    ViChar buffer[64];
    ViBoolean flag;
    ViInt32 count;
    EXPECT_EQ(QmDC_GetAttributeViString(never, "", QMDC_ATTR_INSTRUMENT_MODEL, 64, buffer),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(QmDC_GetAttributeViBoolean(never, "", QMDC_ATTR_CACHE, &flag),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(QmDC_SetAttributeViBoolean(never, "", QMDC_ATTR_CACHE, VI_TRUE),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(QmDC_GetAttributeViInt32(never, "", QMDC_ATTR_CHANNEL_COUNT, &count),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
}

struct OptionCase {
    ViAttr id;
    bool initially;
};

TEST(InherentAttributes, OnlyOneTurnsAnOptionOnAndNothingElseChanges) {
    auto session = qmdc_test::Simulated("Simulate=1, RangeCheck=0, QueryInstrStatus=1");
    const ViSession vi = session->vi();
    const OptionCase cases[] = {
        {QMDC_ATTR_RANGE_CHECK, false},
        {QMDC_ATTR_QUERY_INSTRUMENT_STATUS, true},
        {QMDC_ATTR_CACHE, true},
        {QMDC_ATTR_RECORD_COERCIONS, false},
    };
    for (const OptionCase& c : cases) {
        EXPECT_EQ(Boolean(vi, c.id), c.initially ? VI_TRUE : VI_FALSE) << c.id;
        for (ViBoolean value : {ViBoolean{1}, ViBoolean{0}, ViBoolean{1}, ViBoolean{2},
                                ViBoolean{1}, ViBoolean{0xFFFF}}) {
            EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", c.id, value), VI_SUCCESS);
            EXPECT_EQ(Boolean(vi, c.id), value == 1 ? VI_TRUE : VI_FALSE) << c.id << " " << value;
        }
    }
    // ResetWithDefaults puts back the options of the end of init.
    EXPECT_EQ(QmDC_ResetWithDefaults(vi), VI_SUCCESS);
    for (const OptionCase& c : cases) {
        EXPECT_EQ(Boolean(vi, c.id), c.initially ? VI_TRUE : VI_FALSE) << c.id;
    }
}

TEST(InherentAttributes, InterchangeCheckingCannotBeTurnedOn) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", QMDC_ATTR_INTERCHANGE_CHECK, VI_FALSE),
              VI_SUCCESS);
    EXPECT_EQ(Boolean(vi, QMDC_ATTR_INTERCHANGE_CHECK), VI_FALSE);
    EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", QMDC_ATTR_INTERCHANGE_CHECK, VI_TRUE),
              QMDC_ERROR_VALUE_NOT_SUPPORTED);
    EXPECT_EQ(ErrorDescription(vi),
              "Does not support this class-compliant feature:  Enumeration value 'True' passed as "
              "the value for parameter 'AttributeValue' in function 'SetAttributeViBoolean'.  "
              "Interchange checking is not supported by the driver.");
    EXPECT_EQ(Boolean(vi, QMDC_ATTR_INTERCHANGE_CHECK), VI_FALSE);
    EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", QMDC_ATTR_INTERCHANGE_CHECK, 2), VI_SUCCESS);
    EXPECT_EQ(Boolean(vi, QMDC_ATTR_INTERCHANGE_CHECK), VI_FALSE);

    Session refused("TCPIP0::sim::5025::SOCKET", "Simulate=1, InterchangeCheck=1");
    EXPECT_EQ(refused.status(), QMDC_ERROR_BAD_OPTION_VALUE);
    EXPECT_EQ(ErrorDescription(VI_NULL),
              "The 'True' value in the option string is unknown.  Interchange checking is not "
              "supported by the driver.");
}

TEST(InherentAttributes, ASimulatedSessionStaysSimulated) {
    auto simulated = qmdc_test::Simulated();
    for (ViBoolean value : {ViBoolean{0}, ViBoolean{2}}) {
        EXPECT_EQ(QmDC_SetAttributeViBoolean(simulated->vi(), "", QMDC_ATTR_SIMULATE, value),
                  QMDC_ERROR_CANNOT_CHANGE_SIMULATION_STATE)
            << value;
        EXPECT_EQ(ErrorDescription(simulated->vi()), "The simulation state cannot be changed.");
        EXPECT_EQ(Boolean(simulated->vi(), QMDC_ATTR_SIMULATE), VI_TRUE);
    }
    EXPECT_EQ(QmDC_SetAttributeViBoolean(simulated->vi(), "", QMDC_ATTR_SIMULATE, VI_TRUE),
              VI_SUCCESS);

    // A connected session may go into simulation and come back.
    FakeInstrument instrument(qmdc_test::HealthySupplyReplies("Acme,Rack 30-70 QM,SN1,1.0"));
    Session real(instrument.Resource());
    ASSERT_EQ(real.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    EXPECT_EQ(QmDC_SetAttributeViBoolean(real.vi(), "", QMDC_ATTR_SIMULATE, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(Boolean(real.vi(), QMDC_ATTR_SIMULATE), VI_TRUE);
    EXPECT_EQ(Text(real.vi(), QMDC_ATTR_INSTRUMENT_MANUFACTURER), "Orvane");
    EXPECT_EQ(QmDC_SetAttributeViBoolean(real.vi(), "", QMDC_ATTR_SIMULATE, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(Text(real.vi(), QMDC_ATTR_INSTRUMENT_MANUFACTURER), "Acme");  // from *IDN?
}

}  // namespace
