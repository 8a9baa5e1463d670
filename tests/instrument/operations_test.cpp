// The instrument-specific operations: what each sends, the status check that
// follows, and what a simulated session does instead.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "instrument_support.h"

using qmdc_test::ErrorDescription;
using qmdc_test::ScriptedSession;

namespace {

using Lines = std::vector<std::string>;

struct OperationCase {
    const char* name;
    std::function<ViStatus(ViSession)> call;
    const char* line;
    // In simulation: the attribute whose value the operation sets, and the
    // value read afterwards (0: no attribute).
    ViAttr simulatedAttribute;
    ViReal64 simulatedValue;
};

const OperationCase kOperations[] = {
    {"CalculateRemoteSenseResistance",
     [](ViSession vi) { return QmDC_CalculateRemoteSenseResistance(vi, 0.1); }, "RSEN:RES:CALC 0.1",
     0, 0.0},
    {"ConfigureCurrentCalibration",
     [](ViSession vi) { return QmDC_ConfigureCurrentCalibration(vi, 1, 0.5, -2, 3); },
     "CAL:CALC:CURR:PAR 1,0.5,-2,3", 0, 0.0},
    {"ConfigureVoltageCalibration",
     [](ViSession vi) {
         return QmDC_ConfigureVoltageCalibration(vi, 1e-20, 123456789012345678.0, 0, -0.25);
     },
     "CAL:CALC:VOLT:PAR 1e-20,1.23456789012346e+17,0,-0.25", 0, 0.0},
    {"SaveState", QmDC_SaveState, "SYST:CONF:SAVE", 0, 0.0},
    {"SetMaxCurrentLevel", QmDC_SetMaxCurrentLevel, "CURR MAX", QMDC_ATTR_CURRENT_LEVEL, 3.5},
    {"SetMinCurrentLevel", QmDC_SetMinCurrentLevel, "CURR MIN", QMDC_ATTR_CURRENT_LEVEL, 0.0},
    {"SetMaxVoltageLevel", QmDC_SetMaxVoltageLevel, "VOLT MAX", QMDC_ATTR_VOLTAGE_LEVEL, 0.0},
    {"SetMinVoltageLevel", QmDC_SetMinVoltageLevel, "VOLT MIN", QMDC_ATTR_VOLTAGE_LEVEL, 0.0},
    {"SetMaxPowerLevel", QmDC_SetMaxPowerLevel, "POW MAX", QMDC_ATTR_POWER_LEVEL, 600.0},
    {"SetMinPowerLevel", QmDC_SetMinPowerLevel, "POW MIN", QMDC_ATTR_POWER_LEVEL, 0.0},
    {"SetOperationComplete", QmDC_SetOperationComplete, "*OPC", 0, 0.0},
    {"StatusPreset", QmDC_StatusPreset, "STAT:PRES", 0, 0.0},
    {"ClearErrors", QmDC_ClearErrors, "SYST:ERR:CLE", 0, 0.0},
    {"ClearSelfTestResults", QmDC_ClearSelfTestResults, "TEST:SELF:CLE", 0, 0.0},
    {"ClearStatus", QmDC_ClearStatus, "*CLS", 0, 0.0},
};

TEST(Operations, EachSendsItsCommandThenOneStatusQuery) {
    ScriptedSession real;
    for (const OperationCase& c : kOperations) {
        EXPECT_EQ(c.call(real.vi()), VI_SUCCESS) << c.name;
        EXPECT_EQ(real.Sent(), (Lines{c.line, "*ESR?"})) << c.name;
    }
    ScriptedSession quiet("QueryInstrStatus=0");
    for (const OperationCase& c : kOperations) {
        EXPECT_EQ(c.call(quiet.vi()), VI_SUCCESS) << c.name;
        EXPECT_EQ(quiet.Sent(1), Lines{c.line}) << c.name;
    }
}

TEST(Operations, AnInstrumentErrorAfterTheCommandFailsIt) {
    ScriptedSession real;
    real.answers().Set("*ESR?", "32\n");
    for (const OperationCase& c : kOperations) {
        EXPECT_EQ(c.call(real.vi()), QMDC_ERROR_INSTRUMENT_STATUS) << c.name;
        EXPECT_EQ(ErrorDescription(real.vi()),
                  "Instrument error detected.  Use ErrorQuery() to determine the error(s).");
    }
}

TEST(Operations, SimulatedEffects) {
    for (const OperationCase& c : kOperations) {
        auto simulated = qmdc_test::Simulated();
        EXPECT_EQ(c.call(simulated->vi()), VI_SUCCESS) << c.name;
        if (c.simulatedAttribute == 0) continue;
        ViReal64 value = -1;
        EXPECT_EQ(QmDC_GetAttributeViReal64(simulated->vi(), "", c.simulatedAttribute, &value),
                  VI_SUCCESS);
        EXPECT_EQ(value, c.simulatedValue) << c.name;
    }
}

TEST(Operations, Measurements) {
    ScriptedSession real;
    real.answers().Set("MEAS:VOLT?", "11.998\n");
    real.answers().Set("MEAS:CURR?", "1.2E-3\n");
    ViReal64 volts = 0, amps = 0;
    EXPECT_EQ(QmDC_MeasureVoltage(real.vi(), &volts), VI_SUCCESS);
    EXPECT_EQ(QmDC_MeasureCurrent(real.vi(), &amps), VI_SUCCESS);
    EXPECT_EQ(volts, 11.998);
    EXPECT_EQ(amps, 1.2e-3);
    EXPECT_EQ(real.Sent(), (Lines{"MEAS:VOLT?", "*ESR?", "MEAS:CURR?", "*ESR?"}));

    // A timed-out measurement returns VISA's status and runs no status check.
    EXPECT_EQ(QmDC_SetAttributeViInt32(real.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, 150),
              VI_SUCCESS);
    real.answers().Drop("MEAS:VOLT?");
    EXPECT_LT(QmDC_MeasureVoltage(real.vi(), &volts), 0);
    EXPECT_EQ(real.Sent(), Lines{"MEAS:VOLT?"});

    EXPECT_EQ(QmDC_MeasureVoltage(real.vi(), nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(real.vi()),
              "Null pointer passed for function 'QmDC_MeasureVoltage', parameter 'Val'.");

    auto simulated = qmdc_test::Simulated();
    volts = amps = 5;
    EXPECT_EQ(QmDC_MeasureVoltage(simulated->vi(), &volts), VI_SUCCESS);
    EXPECT_EQ(QmDC_MeasureCurrent(simulated->vi(), &amps), VI_SUCCESS);
    EXPECT_EQ(volts, 0.0);
    EXPECT_EQ(amps, 0.0);
    EXPECT_EQ(QmDC_MeasureCurrent(simulated->vi(), nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(simulated->vi()),
              "Null pointer passed for function 'QmDC_MeasureCurrent', parameter 'Val'.");
}

TEST(Operations, AStoredValueOutlivesACommandThatChangedIt) {
    // "CURR MAX" changes the level on the instrument; the store keeps what
    // it had until it is invalidated or written.
    ScriptedSession real("Cache=1");
    real.answers().Set("CURR?", "1.5\n");
    ViReal64 level = 0;
    EXPECT_EQ(QmDC_GetAttributeViReal64(real.vi(), "", QMDC_ATTR_CURRENT_LEVEL, &level),
              VI_SUCCESS);
    EXPECT_EQ(QmDC_SetMaxCurrentLevel(real.vi()), VI_SUCCESS);
    EXPECT_EQ(QmDC_SetAttributeViBoolean(real.vi(), "", QMDC_ATTR_SIMULATE, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(QmDC_GetAttributeViReal64(real.vi(), "", QMDC_ATTR_CURRENT_LEVEL, &level),
              VI_SUCCESS);
    EXPECT_EQ(level, 1.5);
}

}  // namespace
