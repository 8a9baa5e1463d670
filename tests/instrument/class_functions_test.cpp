// The IviDCPwr class functions: configuration through the class attributes,
// the range check, limits from the ratings, the output state from the
// condition registers, measurement and the unsupported trigger functions.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "instrument_support.h"

using qmdc_test::ErrorDescription;
using qmdc_test::ScriptedSession;

namespace {

using Lines = std::vector<std::string>;

std::string NotSupported(const std::string& value, const char* parameter, const char* function) {
    return "Does not support this class-compliant feature:  Enumeration value '" + value +
           "' passed as the value for parameter '" + parameter + "' in function '" + function +
           "'.";
}

struct ConfigureCase {
    const char* name;
    std::function<ViStatus(ViSession)> call;
    ViStatus status;
    Lines sent;
};

TEST(ClassFunctions, ConfigurationSendsThroughTheClassAttributes) {
    ScriptedSession real;
    const ConfigureCase cases[] = {
        {"voltage",
         [](ViSession vi) { return QmDC_ConfigureVoltageLevel(vi, "", 12.0); },
         VI_SUCCESS,
         {"VOLT 12", "*ESR?"}},
        {"output on",
         [](ViSession vi) { return QmDC_ConfigureOutputEnabled(vi, "CH1", VI_TRUE); },
         VI_SUCCESS,
         {"OUTP ON", "*ESR?"}},
        {"output off",
         [](ViSession vi) { return QmDC_ConfigureOutputEnabled(vi, nullptr, VI_FALSE); },
         VI_SUCCESS,
         {"OUTP OFF", "*ESR?"}},
        {"reset protection",
         [](ViSession vi) { return QmDC_ResetOutputProtection(vi, ""); },
         VI_SUCCESS,
         {"OUTP ON", "*ESR?"}},
        {"current limit, trip",
         [](ViSession vi) {
             return QmDC_ConfigureCurrentLimit(vi, "", QMDC_VAL_CURRENT_TRIP, 2.0);
         },
         VI_SUCCESS,
         {"CURR:PROT 2", "*ESR?"}},
        {"current limit, regulate",
         [](ViSession vi) {
             return QmDC_ConfigureCurrentLimit(vi, "", QMDC_VAL_CURRENT_REGULATE, 2.0);
         },
         QMDC_ERROR_VALUE_NOT_SUPPORTED,
         {}},
        {"OVP on",
         [](ViSession vi) { return QmDC_ConfigureOVP(vi, "", VI_TRUE, 15.0); },
         VI_SUCCESS,
         {"VOLT:PROT 15", "*ESR?"}},
        {"OVP off",
         [](ViSession vi) { return QmDC_ConfigureOVP(vi, "", VI_FALSE, 15.0); },
         QMDC_ERROR_VALUE_NOT_SUPPORTED,
         {}},
        {"unknown channel",
         [](ViSession vi) { return QmDC_ConfigureVoltageLevel(vi, "CH2", 1.0); },
         QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER,
         {}},
    };
    for (const ConfigureCase& c : cases) {
        EXPECT_EQ(c.call(real.vi()), c.status) << c.name;
        EXPECT_EQ(real.Sent(), c.sent) << c.name;
    }
    QmDC_ConfigureCurrentLimit(real.vi(), "", QMDC_VAL_CURRENT_REGULATE, 2.0);
    EXPECT_EQ(
        ErrorDescription(real.vi()),
        NotSupported("QMDC_VAL_CURRENT_REGULATE", "AttributeValue", "CURRENT_LIMIT_BEHAVIOR"));
    QmDC_ConfigureOVP(real.vi(), "", VI_FALSE, 15.0);
    EXPECT_EQ(ErrorDescription(real.vi()),
              NotSupported("VI_FALSE", "AttributeValue", "OVP_ENABLED"));

    auto simulated = qmdc_test::Simulated();
    for (const ConfigureCase& c : cases) EXPECT_EQ(c.call(simulated->vi()), c.status) << c.name;
}

// A bracket that loses its only name ("[A") leaves an empty level, which
// takes nothing from the next: "[A:CH1" names CH1. "[A" alone names no
// channel and is refused, never a success that did nothing.
TEST(ClassFunctions, EmptyBracketedLevelsNameWhatFollows) {
    using Call = std::function<ViStatus(ViSession, const char*)>;
    const std::pair<Call, Lines> cases[] = {
        {[](ViSession vi, const char* c) { return QmDC_ConfigureVoltageLevel(vi, c, 12.0); },
         {"VOLT 12", "*ESR?"}},
        {[](ViSession vi, const char* c) { return QmDC_ConfigureOutputEnabled(vi, c, VI_TRUE); },
         {"OUTP ON", "*ESR?"}},
        {[](ViSession vi, const char* c) { return QmDC_ConfigureOVP(vi, c, VI_TRUE, 15.0); },
         {"VOLT:PROT 15", "*ESR?"}},
        {[](ViSession vi, const char* c) {
             return QmDC_ConfigureCurrentLimit(vi, c, QMDC_VAL_CURRENT_TRIP, 2.0);
         },
         {"CURR:PROT 2", "*ESR?"}},
        {[](ViSession vi, const char* c) { return QmDC_ConfigureOutputRange(vi, c, 0, 1.0); }, {}},
    };
    ScriptedSession real;
    for (const auto& [call, sent] : cases) {
        for (const char* channel : {"[A:CH1", "CH1:[A:CH1"}) {
            EXPECT_EQ(call(real.vi(), channel), VI_SUCCESS) << channel;
            EXPECT_EQ(real.Sent(), sent) << channel;
        }
        EXPECT_EQ(call(real.vi(), "[A"), QMDC_ERROR_BADLY_FORMED_SELECTOR);
        EXPECT_EQ(real.Sent(), Lines{});
    }
}

struct RangeCase {
    ViInt32 type;
    ViReal64 range;
    ViStatus status;
    const char* description;
};

TEST(ClassFunctions, OutputRangeIsCheckedAgainstTheRatings) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const RangeCase cases[] = {
        {0, 77.0, VI_SUCCESS, ""},
        {0, 0.0, VI_SUCCESS, ""},
        {0, 77.01, QMDC_ERROR_INVALID_VALUE,
         "Invalid value '77.010000' for function 'ConfigureOutputRange', parameter 'Range'."},
        {1, 33.0, VI_SUCCESS, ""},
        {1, -0.1, QMDC_ERROR_INVALID_VALUE,
         "Invalid value '-0.100000' for function 'ConfigureOutputRange', parameter 'Range'."},
        {1, 80.0, QMDC_ERROR_INVALID_VALUE,
         "Invalid value '80.000000' for function 'ConfigureOutputRange', parameter 'Range'."},
        {2, 1.0, QMDC_ERROR_INVALID_VALUE,
         "Invalid value '2' for function 'ConfigureOutputRange', parameter 'RangeType'."},
        {-1, 1.0, QMDC_ERROR_INVALID_VALUE,
         "Invalid value '-1' for function 'ConfigureOutputRange', parameter 'RangeType'."},
        {1, nan, VI_SUCCESS, ""},  // no comparison refuses it; nothing changes either way
        {0, nan, VI_SUCCESS, ""},
    };
    ScriptedSession real("QueryInstrStatus=1, RangeCheck=0");  // the option changes nothing
    auto simulated = qmdc_test::Simulated();
    for (ViSession vi : {real.vi(), simulated->vi()}) {
        for (const RangeCase& c : cases) {
            EXPECT_EQ(QmDC_ConfigureOutputRange(vi, "", c.type, c.range), c.status)
                << c.type << " " << c.range;
            if (c.status < 0) {
                EXPECT_EQ(ErrorDescription(vi), c.description);
            }
        }
        EXPECT_EQ(QmDC_ConfigureOutputRange(vi, "CH1,CH1", 0, 1.0),
                  QMDC_ERROR_BADLY_FORMED_SELECTOR);
    }
    EXPECT_EQ(real.Sent(), Lines{});
}

struct LimitCase {
    const char* model;
    bool current;  // QueryMaxCurrentLimit, else QueryMaxVoltageLevel
    ViReal64 given;
    ViReal64 expected;
};

TEST(ClassFunctions, MaximumsComeFromTheRatings) {
    const LimitCase cases[] = {
        {"Rack 30-70 QM", true, 10.0, 70.0},     {"Rack 30-70 QM", true, 30.0, 50.0},
        {"Rack 30-70 QM", true, 0.0, 70.0},      {"Rack 30-70 QM", false, 70.0, 1500.0 / 70.0},
        {"Rack 30-70 QM", false, 20.0, 30.0},    {"Bench 30-33 QM", true, 30.0, 20.0},
        {"Bench 400-2.5 QM", false, 2.0, 300.0},
    };
    for (const LimitCase& c : cases) {
        qmdc_test::Session session("TCPIP0::sim::5025::SOCKET",
                                   std::string("Simulate=1, DriverSetup=Model:") + c.model);
        ASSERT_EQ(session.status(), VI_SUCCESS);
        ViReal64 answer = -1;
        const ViStatus status = c.current
                                    ? QmDC_QueryMaxCurrentLimit(session.vi(), "", c.given, &answer)
                                    : QmDC_QueryMaxVoltageLevel(session.vi(), "", c.given, &answer);
        EXPECT_EQ(status, VI_SUCCESS);
        EXPECT_DOUBLE_EQ(answer, c.expected) << c.model << " " << c.given;
    }
    auto simulated = qmdc_test::Simulated();
    const ViSession vi = simulated->vi();
    EXPECT_EQ(QmDC_QueryMaxCurrentLimit(vi, "", 1.0, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_QueryMaxCurrentLimit', parameter "
              "'MaxCurrentLimit'.");
    EXPECT_EQ(QmDC_QueryMaxVoltageLevel(vi, "", 1.0, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_QueryMaxVoltageLevel', parameter "
              "'MaxVoltageLevel'.");
    ViReal64 answer = 0;
    EXPECT_EQ(QmDC_QueryMaxVoltageLevel(vi, "CH2", 1.0, &answer),
              QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER);
}

struct StateCase {
    ViInt32 state;
    const char* query;
    const char* answer;
    ViBoolean in;
};

TEST(ClassFunctions, OutputStateFromTheConditionRegisters) {
    ScriptedSession real;
    const StateCase cases[] = {
        {QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, "STAT:OPER:COND?", "512\n", VI_TRUE},
        {QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, "STAT:OPER:COND?", "1024\n", VI_FALSE},
        {QMDC_VAL_OUTPUT_CONSTANT_CURRENT, "STAT:OPER:COND?", "1024\n", VI_TRUE},
        {QMDC_VAL_OUTPUT_UNREGULATED, "STAT:OPER:COND?", "2048\n", VI_TRUE},
        {QMDC_VAL_OUTPUT_OVER_VOLTAGE, "STAT:QUES:COND?", "3\n", VI_TRUE},
        {QMDC_VAL_OUTPUT_OVER_CURRENT, "STAT:QUES:COND?", "1\n", VI_FALSE},
        {QMDC_VAL_OUTPUT_OVER_CURRENT, "STAT:QUES:COND?", "2\n", VI_TRUE},
    };
    for (const StateCase& c : cases) {
        real.answers().Set(c.query, c.answer);
        ViBoolean in = 7;
        EXPECT_EQ(QmDC_QueryOutputState(real.vi(), "", c.state, &in), VI_SUCCESS);
        EXPECT_EQ(in, c.in) << c.state << " " << c.answer;
        // The register's own status check, then the function's.
        EXPECT_EQ(real.Sent(), (Lines{c.query, "*ESR?", "*ESR?"}));
    }
    ViBoolean in = 7;
    for (ViInt32 state : {5, 7, -1}) {
        EXPECT_EQ(QmDC_QueryOutputState(real.vi(), "", state, &in), QMDC_ERROR_VALUE_NOT_SUPPORTED);
        EXPECT_EQ(ErrorDescription(real.vi()),
                  NotSupported(std::to_string(state), "OutputState", "QueryOutputState"));
    }
    EXPECT_EQ(real.Sent(), Lines{});
    EXPECT_EQ(QmDC_QueryOutputState(real.vi(), "", 0, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(real.vi()),
              "Null pointer passed for function 'QmDC_QueryOutputState', parameter 'InState'.");

    auto simulated = qmdc_test::Simulated();
    for (ViInt32 state : {0, 1, 2, 3, 4, 7, -1}) {
        EXPECT_EQ(QmDC_QueryOutputState(simulated->vi(), "", state, &in), VI_SUCCESS);
        EXPECT_EQ(in, state == 0 ? VI_TRUE : VI_FALSE) << state;
    }
}

TEST(ClassFunctions, MeasureDelegates) {
    ScriptedSession real;
    real.answers().Set("MEAS:CURR?", "1.25\n");
    real.answers().Set("MEAS:VOLT?", "12\n");
    ViReal64 value = 0;
    EXPECT_EQ(QmDC_Measure(real.vi(), "anything", QMDC_VAL_MEASURE_CURRENT, &value), VI_SUCCESS);
    EXPECT_EQ(value, 1.25);
    EXPECT_EQ(QmDC_Measure(real.vi(), "", QMDC_VAL_MEASURE_VOLTAGE, &value), VI_SUCCESS);
    EXPECT_EQ(value, 12.0);
    EXPECT_EQ(real.Sent(), (Lines{"MEAS:CURR?", "*ESR?", "MEAS:VOLT?", "*ESR?"}));
    EXPECT_EQ(QmDC_Measure(real.vi(), "", 5, &value), QMDC_ERROR_VALUE_NOT_SUPPORTED);
    EXPECT_EQ(ErrorDescription(real.vi()), NotSupported("5", "MeasurementType", "Measure"));
    EXPECT_EQ(QmDC_Measure(real.vi(), "", 0, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(real.vi()),
              "Null pointer passed for function 'QmDC_Measure', parameter 'Measurement'.");

    auto simulated = qmdc_test::Simulated();
    value = 9;
    EXPECT_EQ(QmDC_Measure(simulated->vi(), "", QMDC_VAL_MEASURE_VOLTAGE, &value), VI_SUCCESS);
    EXPECT_EQ(value, 0.0);
}

TEST(ClassFunctions, TriggerFunctionsAreNotSupportedAndRecordNothing) {
    auto simulated = qmdc_test::Simulated();
    const ViSession vi = simulated->vi();
    QmDC_Measure(vi, "", 5, nullptr);  // leaves an error description
    const std::string before = ErrorDescription(vi);
    const std::function<ViStatus()> calls[] = {
        [&] { return QmDC_ConfigureTriggerSource(vi, "", 1); },
        [&] { return QmDC_ConfigureTriggeredVoltageLevel(vi, "", 1.0); },
        [&] { return QmDC_ConfigureTriggeredCurrentLimit(vi, "", 1.0); },
        [&] { return QmDC_Initiate(vi); },
        [&] { return QmDC_Abort(vi); },
        [&] { return QmDC_SendSoftwareTrigger(vi); },
    };
    for (const auto& call : calls) {
        EXPECT_EQ(call(), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
        EXPECT_EQ(ErrorDescription(vi), before);
    }
    EXPECT_EQ(QmDC_Initiate(0x5151), QMDC_ERROR_INVALID_SESSION_HANDLE);
}

}  // namespace
