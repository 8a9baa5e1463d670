// A bench session against the emulator, over TCP, a pseudo-terminal and HiSLIP:
// set the supply up, switch the output on, measure, change the load to go from
// constant voltage to constant current, trip the over-voltage protection and
// reset it, read the error queue and close.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "emulator_process.h"
#include "instrument_support.h"

using qmdc_test::ErrorDescription;

namespace {

class BenchSession {
  public:
    explicit BenchSession(const std::string& resource)
        : session_(resource, "QueryInstrStatus=1", VI_TRUE, VI_TRUE) {}

    ViSession vi() const { return session_.vi(); }
    ViStatus status() const { return session_.status(); }

    void Load(double ohms) {
        const std::string command = "EMUL:LOAD " + std::to_string(ohms) + "\n";
        ViInt64 written = 0;
        ASSERT_EQ(
            QmDC_viWrite(vi(), static_cast<ViInt64>(command.size()),
                         reinterpret_cast<ViByte*>(const_cast<char*>(command.data())), &written),
            VI_SUCCESS);
        EXPECT_EQ(written, static_cast<ViInt64>(command.size()));
    }
    bool In(ViInt32 state) {
        ViBoolean in = VI_FALSE;
        EXPECT_EQ(QmDC_QueryOutputState(vi(), "", state, &in), VI_SUCCESS)
            << ErrorDescription(vi());
        return in == VI_TRUE;
    }
    double Measure(ViInt32 type) {
        ViReal64 value = -1;
        EXPECT_EQ(QmDC_Measure(vi(), "", type, &value), VI_SUCCESS) << ErrorDescription(vi());
        return value;
    }
    bool OutputOn() {
        ViBoolean on = VI_FALSE;
        EXPECT_EQ(QmDC_GetAttributeViBoolean(vi(), "", QMDC_ATTR_OUTPUT_ENABLED, &on), VI_SUCCESS);
        return on == VI_TRUE;
    }

  private:
    qmdc_test::Session session_;
};

void RunBenchSession(const std::string& resource) {
    BenchSession s(resource);
    ASSERT_EQ(s.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    ViChar text[256];
    ASSERT_EQ(QmDC_GetAttributeViString(s.vi(), "", QMDC_ATTR_INSTRUMENT_MODEL, sizeof text, text),
              VI_SUCCESS);
    EXPECT_STREQ(text, "Bench 50-20 QM");
    ViReal64 maxVolts = 0;
    EXPECT_EQ(QmDC_QueryMaxVoltageLevel(s.vi(), "", 0.0, &maxVolts), VI_SUCCESS);
    EXPECT_EQ(maxVolts, 50.0);

    ASSERT_EQ(QmDC_ConfigureVoltageLevel(s.vi(), "", 12.0), VI_SUCCESS) << ErrorDescription(s.vi());
    ASSERT_EQ(QmDC_SetAttributeViReal64(s.vi(), "", QMDC_ATTR_CURRENT_LEVEL, 2.0), VI_SUCCESS);
    ASSERT_EQ(QmDC_ConfigureCurrentLimit(s.vi(), "", QMDC_VAL_CURRENT_TRIP, 2.0), VI_SUCCESS);
    ASSERT_EQ(QmDC_ConfigureOVP(s.vi(), "", VI_TRUE, 15.0), VI_SUCCESS);
    ViReal64 readBack = 0;
    EXPECT_EQ(QmDC_GetAttributeViReal64(s.vi(), "", QMDC_ATTR_OVP_LIMIT, &readBack), VI_SUCCESS);
    EXPECT_EQ(readBack, 15.0);
    EXPECT_EQ(QmDC_GetAttributeViReal64(s.vi(), "", QMDC_ATTR_CURRENT_LIMIT, &readBack),
              VI_SUCCESS);
    EXPECT_EQ(readBack, 2.0);
    ASSERT_EQ(QmDC_ConfigureOutputEnabled(s.vi(), "", VI_TRUE), VI_SUCCESS);

    s.Load(10.0);  // 12 V across 10 ohm: 1.2 A, under the 2 A level
    EXPECT_DOUBLE_EQ(s.Measure(QMDC_VAL_MEASURE_VOLTAGE), 12.0);
    EXPECT_DOUBLE_EQ(s.Measure(QMDC_VAL_MEASURE_CURRENT), 1.2);
    EXPECT_TRUE(s.In(QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE));
    EXPECT_FALSE(s.In(QMDC_VAL_OUTPUT_CONSTANT_CURRENT));

    s.Load(4.0);  // 2 A at 8 V: the current level holds, the limit does not trip
    EXPECT_DOUBLE_EQ(s.Measure(QMDC_VAL_MEASURE_CURRENT), 2.0);
    EXPECT_DOUBLE_EQ(s.Measure(QMDC_VAL_MEASURE_VOLTAGE), 8.0);
    EXPECT_TRUE(s.In(QMDC_VAL_OUTPUT_CONSTANT_CURRENT));
    EXPECT_FALSE(s.In(QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE));
    EXPECT_TRUE(s.OutputOn());

    s.Load(10.0);
    ASSERT_EQ(QmDC_ConfigureOVP(s.vi(), "", VI_TRUE, 10.0), VI_SUCCESS);  // below the 12 V output
    EXPECT_TRUE(s.In(QMDC_VAL_OUTPUT_OVER_VOLTAGE));
    EXPECT_FALSE(s.OutputOn());
    EXPECT_EQ(s.Measure(QMDC_VAL_MEASURE_VOLTAGE), 0.0);

    ASSERT_EQ(QmDC_ConfigureOVP(s.vi(), "", VI_TRUE, 15.0), VI_SUCCESS);
    ASSERT_EQ(QmDC_ResetOutputProtection(s.vi(), ""), VI_SUCCESS);
    EXPECT_TRUE(s.OutputOn());
    EXPECT_FALSE(s.In(QMDC_VAL_OUTPUT_OVER_VOLTAGE));
    EXPECT_TRUE(s.In(QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE));

    // A current above the limit trips the over-current protection.
    ASSERT_EQ(QmDC_SetAttributeViReal64(s.vi(), "", QMDC_ATTR_CURRENT_LEVEL, 5.0), VI_SUCCESS);
    s.Load(4.0);
    EXPECT_TRUE(s.In(QMDC_VAL_OUTPUT_OVER_CURRENT));
    EXPECT_FALSE(s.OutputOn());

    ViInt32 code = -1;
    EXPECT_EQ(QmDC_error_query(s.vi(), &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(text, "No error");

    // The instrument-specific settings read back what was set.
    const std::pair<ViAttr, ViInt32> enumerated[] = {
        {QMDC_ATTR_CONTROL_SOURCE, QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK},
        {QMDC_ATTR_ANALOG_OUTPUT_MODE, QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES},
        {QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL, QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5},
        {QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL, QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3},
        {QMDC_ATTR_STANDARD_EVENT_ENABLE_REGISTER, 60},
    };
    for (const auto& [id, value] : enumerated) {
        EXPECT_EQ(QmDC_SetAttributeViInt32(s.vi(), "", id, value), VI_SUCCESS)
            << ErrorDescription(s.vi());
        ViInt32 read = -1;
        EXPECT_EQ(QmDC_GetAttributeViInt32(s.vi(), "", id, &read), VI_SUCCESS)
            << ErrorDescription(s.vi());
        EXPECT_EQ(read, value) << id;
    }
    ViBoolean sense = VI_FALSE;
    EXPECT_EQ(QmDC_SetAttributeViBoolean(s.vi(), "", QMDC_ATTR_REMOTE_SENSE_ENABLED, VI_TRUE),
              VI_SUCCESS);
    EXPECT_EQ(QmDC_GetAttributeViBoolean(s.vi(), "", QMDC_ATTR_REMOTE_SENSE_ENABLED, &sense),
              VI_SUCCESS);
    EXPECT_EQ(sense, VI_TRUE);
    EXPECT_EQ(QmDC_CalculateRemoteSenseResistance(s.vi(), 0.25), VI_SUCCESS);
    ViInt32 calculation = -1;
    for (ViInt32 expected :
         {QMDC_VAL_REMOTE_SENSE_STATUS_CALCULATING, QMDC_VAL_REMOTE_SENSE_STATUS_COMPLETE}) {
        EXPECT_EQ(QmDC_GetAttributeViInt32(s.vi(), "", QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS,
                                           &calculation),
                  VI_SUCCESS);
        EXPECT_EQ(calculation, expected);
    }
    EXPECT_EQ(QmDC_GetAttributeViString(s.vi(), "", QMDC_ATTR_SCPI_VERSION, sizeof text, text),
              VI_SUCCESS);
    EXPECT_STREQ(text, "1999.0");
    for (auto operation :
         {QmDC_SaveState, QmDC_SetMaxPowerLevel, QmDC_SetMinVoltageLevel, QmDC_StatusPreset,
          QmDC_ClearErrors, QmDC_ClearSelfTestResults, QmDC_SetOperationComplete}) {
        EXPECT_EQ(operation(s.vi()), VI_SUCCESS) << ErrorDescription(s.vi());
    }
    EXPECT_EQ(QmDC_ConfigureCurrentCalibration(s.vi(), 0, 1, 0, 0), VI_SUCCESS);
    // A value the instrument refuses shows in its event register.
    EXPECT_EQ(QmDC_ConfigureVoltageLevel(s.vi(), "", 99.0), QMDC_ERROR_INSTRUMENT_STATUS);
    EXPECT_EQ(QmDC_error_query(s.vi(), &code, text), VI_SUCCESS);
    EXPECT_EQ(code, -222);
}

// The same bench session over each transport the emulator serves.
TEST(EndToEnd, BenchSessionOverEachTransport) {
    const struct {
        const char* transport;
        const char* option;
    } rows[] = {
        {"TCP socket", "--tcp"},
        {"serial line", "--pty"},
        {"HiSLIP", "--hislip"},
        {"VXI-11", "--vxi11"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.transport);
        qmdc::testing::EmulatorProcess emulator({row.option, "--model", "Bench 50-20 QM"});
        RunBenchSession(emulator.resource());
    }
}

}  // namespace
