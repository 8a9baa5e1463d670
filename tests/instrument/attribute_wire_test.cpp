// Every attribute that talks to the instrument, one row each: the bytes a Set
// sends, the query a Get sends, good and bad answers, the "*ESR?" that follows
// each command with status queries on, what a simulated session answers
// before and after a Set, and what the store keeps.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "instrument_support.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"

using qmdc_test::Describe;
using qmdc_test::ErrorDescription;
using qmdc_test::GetValue;
using qmdc_test::ScriptedSession;
using qmdc_test::SetValue;
using qmdc_test::Value;

namespace {

constexpr ViStatus kUnexpected = QMDC_ERROR_UNEXPECTED_RESPONSE;

struct WireCase {
    const char* name;
    ViAttr id;
    std::optional<Value> set;  // none: read-only
    const char* setLine;
    const char* query;
    const char* goodAnswer;
    Value got;
    const char* badAnswer;
    Value simulated;          // before any Set
    Value simulatedAfterSet;  // fixed values stay
    bool stored;
};

// Real and integer levels, registers, enumerated, Boolean and text values.
const WireCase kCases[] = {
    // clang-format off
    {"VOLTAGE_LEVEL", QMDC_ATTR_VOLTAGE_LEVEL, Value(12.5), "VOLT 12.5", "VOLT?", "12.5\n", 12.5, "abc\n", 0.0, 0.0, false},
    {"OVP_LIMIT", QMDC_ATTR_OVP_LIMIT, Value(15.0), "VOLT:PROT 15", "VOLT:PROT?", "15.000\n", 15.0, "\n", 0.0, 0.0, false},
    {"OUTPUT_ENABLED", QMDC_ATTR_OUTPUT_ENABLED, Value(ViBoolean{VI_FALSE}), "OUTP OFF", "OUTP?", "1\n", ViBoolean{1}, "2\n", ViBoolean{1}, ViBoolean{1}, false},
    {"CURRENT_LEVEL", QMDC_ATTR_CURRENT_LEVEL, Value(0.1), "CURR 0.1", "CURR?", "1.5\n", 1.5, "ON\n", 3.5, 0.1, true},
    {"OVER_CURRENT_PROTECTION_LEVEL", QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL, Value(6.25), "CURR:PROT 6.25", "CURR:PROT?", "6.25\n", 6.25, "\n", 5.5, 6.25, true},
    {"CURRENT_LIMIT", QMDC_ATTR_CURRENT_LIMIT, Value(2.5), "CURR:PROT 2.5", "CURR:PROT?", "2.5\n", 2.5, "x\n", 6.25, 2.5, true},
    {"POWER_LEVEL", QMDC_ATTR_POWER_LEVEL, Value(1234.5678), "POW 1234.5678", "POW?", "1.2e3\n", 1200.0, "watt\n", 300.0, 1234.5678, true},
    {"OVER_POWER_PROTECTION_LEVEL", QMDC_ATTR_OVER_POWER_PROTECTION_LEVEL, Value(0.000123), "POW:PROT 0.000123", "POW:PROT?", "550\n", 550.0, "-\n", 500.0, 0.000123, true},
    {"REMOTE_SENSE_RESISTANCE", QMDC_ATTR_REMOTE_SENSE_RESISTANCE, Value(1500000.0), "RSEN:RES 1500000", "RSEN:RES?", "1.5E+06\n", 1500000.0, "big\n", 1500000.0, 1500000.0, true},
    {"OPERATION_ENABLE_REGISTER", QMDC_ATTR_OPERATION_ENABLE_REGISTER, Value(ViInt32{512}), "STAT:OPER:ENAB 512", "STAT:OPER:ENAB?", "512\n", ViInt32{512}, "x\n", ViInt32{0}, ViInt32{512}, true},
    {"QUESTIONABLE_ENABLE_REGISTER", QMDC_ATTR_QUESTIONABLE_ENABLE_REGISTER, Value(ViInt32{3}), "STAT:QUES:ENAB 3", "STAT:QUES:ENAB?", "+3\n", ViInt32{3}, "\n", ViInt32{0}, ViInt32{3}, true},
    {"HARDWARE_ENABLE_REGISTER", QMDC_ATTR_HARDWARE_ENABLE_REGISTER, Value(ViInt32{-1}), "STAT:QUES:HARD:ENAB -1", "STAT:QUES:HARD:ENAB?", "65535\n", ViInt32{65535}, "x\n", ViInt32{0}, ViInt32{-1}, true},
    {"TEMPERATURE_ENABLE_REGISTER", QMDC_ATTR_TEMPERATURE_ENABLE_REGISTER, Value(ViInt32{8}), "STAT:QUES:TEMP:ENAB 8", "STAT:QUES:TEMP:ENAB?", "8\n", ViInt32{8}, "x\n", ViInt32{0}, ViInt32{8}, true},
    {"STANDARD_EVENT_ENABLE_REGISTER", QMDC_ATTR_STANDARD_EVENT_ENABLE_REGISTER, Value(ViInt32{60}), "*ESE 60", "*ESE?", "60\n", ViInt32{60}, "x\n", ViInt32{0}, ViInt32{60}, true},
    {"STATUS_BYTE_ENABLE_REGISTER", QMDC_ATTR_STATUS_BYTE_ENABLE_REGISTER, Value(ViInt32{32}), "*SRE 32", "*SRE?", "32\n", ViInt32{32}, "x\n", ViInt32{0}, ViInt32{32}, true},
    {"OPERATION_CONDITION_REGISTER", QMDC_ATTR_OPERATION_CONDITION_REGISTER, std::nullopt, nullptr, "STAT:OPER:COND?", "1024\n", ViInt32{1024}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"OPERATION_EVENT_REGISTER", QMDC_ATTR_OPERATION_EVENT_REGISTER, std::nullopt, nullptr, "STAT:OPER?", "512\n", ViInt32{512}, "\n", ViInt32{0}, ViInt32{0}, true},
    {"QUESTIONABLE_CONDITION_REGISTER", QMDC_ATTR_QUESTIONABLE_CONDITION_REGISTER, std::nullopt, nullptr, "STAT:QUES:COND?", "3\n", ViInt32{3}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"QUESTIONABLE_EVENT_REGISTER", QMDC_ATTR_QUESTIONABLE_EVENT_REGISTER, std::nullopt, nullptr, "STAT:QUES?", "1\n", ViInt32{1}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"HARDWARE_CONDITION_REGISTER", QMDC_ATTR_HARDWARE_CONDITION_REGISTER, std::nullopt, nullptr, "STAT:QUES:HARD:COND?", "4\n", ViInt32{4}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"HARDWARE_EVENT_REGISTER", QMDC_ATTR_HARDWARE_EVENT_REGISTER, std::nullopt, nullptr, "STAT:QUES:HARD?", "4\n", ViInt32{4}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"TEMPERATURE_CONDITION_REGISTER", QMDC_ATTR_TEMPERATURE_CONDITION_REGISTER, std::nullopt, nullptr, "STAT:QUES:TEMP:COND?", "2\n", ViInt32{2}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"TEMPERATURE_EVENT_REGISTER", QMDC_ATTR_TEMPERATURE_EVENT_REGISTER, std::nullopt, nullptr, "STAT:QUES:TEMP?", "2\n", ViInt32{2}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"STANDARD_EVENT_EVENT_REGISTER", QMDC_ATTR_STANDARD_EVENT_EVENT_REGISTER, std::nullopt, nullptr, "*ESR?", "0\n", ViInt32{0}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"STATUS_BYTE_EVENT_REGISTER", QMDC_ATTR_STATUS_BYTE_EVENT_REGISTER, std::nullopt, nullptr, "*STB?", "64\n", ViInt32{64}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"ERROR_CONDITION", QMDC_ATTR_ERROR_CONDITION, std::nullopt, nullptr, "SYST:ERR:COND?", "-222\n", ViInt32{-222}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"ERROR_COUNT", QMDC_ATTR_ERROR_COUNT, std::nullopt, nullptr, "SYST:ERR:COUN?", "2\n", ViInt32{2}, "x\n", ViInt32{0}, ViInt32{0}, true},
    {"AUTO_START_ENABLED", QMDC_ATTR_AUTO_START_ENABLED, Value(ViBoolean{VI_TRUE}), "OUTP:AUTO ON", "OUTP:AUTO?", "0\n", ViBoolean{0}, "2\n", ViBoolean{0}, ViBoolean{1}, true},
    {"REMOTE_SENSE_ENABLED", QMDC_ATTR_REMOTE_SENSE_ENABLED, Value(ViBoolean{VI_FALSE}), "RSEN OFF", "RSEN?", "on\n", ViBoolean{1}, "2\n", ViBoolean{1}, ViBoolean{0}, true},
    {"REMOTE_SENSE_CALCULATION_STATUS", QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS, std::nullopt, nullptr, "RSEN:RES:CALC?", "CALCULATING\n", ViInt32{1}, "DONE\n", ViInt32{0}, ViInt32{0}, true},
    {"ANALOG_OUTPUT_MODE", QMDC_ATTR_ANALOG_OUTPUT_MODE, Value(ViInt32{1}), "SYST:MOD:AOUT PAR", "SYST:MOD:AOUT?", "SER\n", ViInt32{2}, "XYZ\n", ViInt32{0}, ViInt32{1}, true},
    {"CONTROL_SOURCE", QMDC_ATTR_CONTROL_SOURCE, Value(ViInt32{2}), "SYST:MOD RWL", "SYST:MOD?", "loc\n", ViInt32{0}, "2\n", ViInt32{1}, ViInt32{2}, true},
    {"ANALOG_CURRENT_SCALING_LEVEL", QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL, Value(ViInt32{2}), "SYST:MOD:ASC CURR,10", "SYST:MOD:ASC?", "5,10\n", ViInt32{1}, "7,3\n", ViInt32{0}, ViInt32{2}, true},
    {"ANALOG_VOLTAGE_SCALING_LEVEL", QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL, Value(ViInt32{1}), "SYST:MOD:ASC VOLT,5", "SYST:MOD:ASC?", "5,10\n", ViInt32{2}, "5,7\n", ViInt32{0}, ViInt32{1}, true},
    {"DEVICE_CAPABILITIES", QMDC_ATTR_DEVICE_CAPABILITIES, std::nullopt, nullptr, "SYST:CAP?", "(DCPSUPPLY WITH MEASURE)\n", std::string("(DCPSUPPLY WITH MEASURE)"), "\n", std::string("(DCPSUPPLY WITH MEASURE)"), std::string("(DCPSUPPLY WITH MEASURE)"), true},
    {"LAST_SELF_TEST_RESULT", QMDC_ATTR_LAST_SELF_TEST_RESULT, std::nullopt, nullptr, "TEST:SELF:QUER?", "Selftest failed\n", std::string("Selftest failed"), "\n", std::string("Selftest passed"), std::string("Selftest passed"), true},
    {"SCPI_VERSION", QMDC_ATTR_SCPI_VERSION, std::nullopt, nullptr, "SYST:VERS?", "1999.0\n", std::string("1999.0"), "\n", std::string("1999.0"), std::string("1999.0"), true},
    // clang-format on
};

using Lines = std::vector<std::string>;

TEST(AttributeWire, EveryAttributeOnTheWireInSimulationAndInTheStore) {
    ScriptedSession real("QueryInstrStatus=1, Cache=1");
    auto simulated = qmdc_test::Simulated("Simulate=1, Cache=0");
    kiln::DriverSession& store = *kiln::FindSession(real.vi());
    for (const WireCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Value value;
        if (c.set) {
            EXPECT_EQ(SetValue(real.vi(), c.id, *c.set), VI_SUCCESS) << ErrorDescription(real.vi());
            EXPECT_EQ(real.Sent(), (Lines{c.setLine, "*ESR?"}));
        } else {
            EXPECT_EQ(SetValue(real.vi(), c.id, c.got), QMDC_ERROR_ATTR_NOT_WRITABLE);
            EXPECT_EQ(real.Sent(), Lines{});
        }

        real.answers().Set(c.query, c.goodAnswer);
        EXPECT_EQ(GetValue(real.vi(), c.id, c.got, value), VI_SUCCESS)
            << ErrorDescription(real.vi());
        EXPECT_EQ(value, c.got) << Describe(value);
        EXPECT_EQ(real.Sent(), (Lines{c.query, "*ESR?"}));

        real.answers().Set(c.query, c.badAnswer);
        EXPECT_EQ(GetValue(real.vi(), c.id, c.got, value), kUnexpected) << Describe(value);
        EXPECT_EQ(real.Sent(), Lines{c.query});  // no status check after a bad answer
        real.answers().Drop(c.query);

        // What the store holds after a good Get; a failed one stores too, as
        // designed, so read it after a good Get again.
        real.answers().Set(c.query, c.goodAnswer);
        GetValue(real.vi(), c.id, c.got, value);
        real.answers().Drop(c.query);
        real.answers().Set("*ESR?", "0\n");  // the event register is one of the rows
        real.Sent();
        const auto& cache = store.Cache();
        const bool inStore = cache.int32.count(c.id) || cache.real64.count(c.id) ||
                             cache.boolean.count(c.id) || cache.text.count(c.id);
        EXPECT_EQ(inStore, c.stored && c.id != QMDC_ATTR_CURRENT_LIMIT);

        EXPECT_EQ(GetValue(simulated->vi(), c.id, c.got, value), VI_SUCCESS);
        EXPECT_EQ(value, c.simulated) << Describe(value);
        if (c.set) {
            EXPECT_EQ(SetValue(simulated->vi(), c.id, *c.set), VI_SUCCESS);
        }
        EXPECT_EQ(GetValue(simulated->vi(), c.id, c.got, value), VI_SUCCESS);
        EXPECT_EQ(value, c.simulatedAfterSet) << Describe(value);
    }
}

TEST(AttributeWire, BadAnswersNameWhatWasWrong) {
    ScriptedSession real;
    const char* const kNoNumber =
        "Unexpected response from instrument.  The answer to STAT:OPER:COND? holds no number "
        "that fits.";
    const std::string kLongNumber = std::string(201, '9') + "\n";
    struct Case {
        ViAttr id;
        Value like;
        const char* query;
        const char* answer;
        const char* description;
    };
    const Case cases[] = {
        {QMDC_ATTR_REMOTE_SENSE_ENABLED, ViBoolean{0}, "RSEN?", "2\n",
         "Unexpected response from instrument.  Could not convert instrument response (2) to a "
         "defined value."},
        {QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL, ViInt32{0}, "SYST:MOD:ASC?", "10.0,5\n",
         "Unexpected response from instrument.  Could not convert instrument response (10.0) to "
         "a defined value."},
        {QMDC_ATTR_VOLTAGE_LEVEL, 0.0, "VOLT?", "twelve\n",
         "Unexpected response from instrument.  The answer to VOLT? holds no number that fits."},
        {QMDC_ATTR_SCPI_VERSION, std::string(), "SYST:VERS?", "\n",
         "Unexpected response from instrument.  The answer to SYST:VERS? is empty."},
        // Numbers the value's type cannot hold, and one longer than a number
        // the scan takes, are no value (cut or wrapped, they read as another).
        {QMDC_ATTR_OPERATION_CONDITION_REGISTER, ViInt32{0}, "STAT:OPER:COND?", "4294967297\n",
         kNoNumber},
        {QMDC_ATTR_OPERATION_CONDITION_REGISTER, ViInt32{0}, "STAT:OPER:COND?",
         "99999999999999999999\n", kNoNumber},
        {QMDC_ATTR_OPERATION_CONDITION_REGISTER, ViInt32{0}, "STAT:OPER:COND?", "-2147483649\n",
         kNoNumber},
        {QMDC_ATTR_VOLTAGE_LEVEL, 0.0, "VOLT?", kLongNumber.c_str(),
         "Unexpected response from instrument.  The answer to VOLT? holds no number that fits."},
        {QMDC_ATTR_VOLTAGE_LEVEL, 0.0, "VOLT?", "1e999\n",
         "Unexpected response from instrument.  The answer to VOLT? holds no number that fits."},
    };
    for (const Case& c : cases) {
        real.answers().Set(c.query, c.answer);
        Value value;
        EXPECT_EQ(GetValue(real.vi(), c.id, c.like, value), kUnexpected) << c.answer;
        EXPECT_EQ(ErrorDescription(real.vi()), c.description);
    }
    // The limits themselves, and text after a number, are values.
    const std::pair<const char*, ViInt32> limits[] = {
        {"2147483647\n", 2147483647}, {"-2147483648\n", -2147483647 - 1}, {"12abc\n", 12}};
    for (const auto& [answer, expected] : limits) {
        real.answers().Set("STAT:OPER:COND?", answer);
        Value value;
        EXPECT_EQ(GetValue(real.vi(), QMDC_ATTR_OPERATION_CONDITION_REGISTER, ViInt32{0}, value),
                  VI_SUCCESS)
            << answer;
        EXPECT_EQ(value, Value(expected)) << answer;
    }
}

TEST(AttributeWire, ValuesWithoutATokenSendNothing) {
    ScriptedSession real;
    struct Case {
        ViAttr id;
        Value value;
    };
    const Case cases[] = {
        {QMDC_ATTR_CONTROL_SOURCE, ViInt32{7}},
        {QMDC_ATTR_ANALOG_OUTPUT_MODE, ViInt32{-1}},
        {QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL, ViInt32{3}},
        {QMDC_ATTR_OUTPUT_ENABLED, ViBoolean{2}},
        {QMDC_ATTR_AUTO_START_ENABLED, ViBoolean{0xFFFF}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetValue(real.vi(), c.id, c.value), QMDC_ERROR_CANNOT_RECOVER) << c.id;
        EXPECT_EQ(ErrorDescription(real.vi()),
                  "Failure cannot recover.  Could not convert defined value '" + Describe(c.value) +
                      "' to an instrument command.");
        EXPECT_EQ(real.Sent(), Lines{});
    }
    // In simulation the same value is stored unchecked.
    auto simulated = qmdc_test::Simulated();
    Value value;
    EXPECT_EQ(SetValue(simulated->vi(), QMDC_ATTR_CONTROL_SOURCE, ViInt32{7}), VI_SUCCESS);
    EXPECT_EQ(GetValue(simulated->vi(), QMDC_ATTR_CONTROL_SOURCE, ViInt32{0}, value), VI_SUCCESS);
    EXPECT_EQ(value, Value(ViInt32{7}));
}

TEST(AttributeWire, ClassAttributesThatAcceptOneValue) {
    ScriptedSession real;
    auto simulated = qmdc_test::Simulated();
    for (ViSession vi : {real.vi(), simulated->vi()}) {
        Value value;
        EXPECT_EQ(GetValue(vi, QMDC_ATTR_OVP_ENABLED, ViBoolean{0}, value), VI_SUCCESS);
        EXPECT_EQ(value, Value(ViBoolean{VI_TRUE}));
        EXPECT_EQ(GetValue(vi, QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, ViInt32{0}, value), VI_SUCCESS);
        EXPECT_EQ(value, Value(ViInt32{QMDC_VAL_CURRENT_TRIP}));
        EXPECT_EQ(SetValue(vi, QMDC_ATTR_OVP_ENABLED, ViBoolean{VI_TRUE}), VI_SUCCESS);
        EXPECT_EQ(SetValue(vi, QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, ViInt32{QMDC_VAL_CURRENT_TRIP}),
                  VI_SUCCESS);
        for (ViBoolean refused : {ViBoolean{0}, ViBoolean{2}}) {
            EXPECT_EQ(SetValue(vi, QMDC_ATTR_OVP_ENABLED, refused), QMDC_ERROR_VALUE_NOT_SUPPORTED);
            EXPECT_EQ(ErrorDescription(vi),
                      "Does not support this class-compliant feature:  Enumeration value "
                      "'VI_FALSE' passed as the value for parameter 'AttributeValue' in function "
                      "'OVP_ENABLED'.");
        }
        const std::pair<ViInt32, const char*> behaviours[] = {{0, "QMDC_VAL_CURRENT_REGULATE"},
                                                              {7, "7"}};
        for (const auto& [refused, name] : behaviours) {
            EXPECT_EQ(SetValue(vi, QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, refused),
                      QMDC_ERROR_VALUE_NOT_SUPPORTED);
            EXPECT_EQ(ErrorDescription(vi),
                      std::string("Does not support this class-compliant feature:  Enumeration "
                                  "value '") +
                          name +
                          "' passed as the value for parameter 'AttributeValue' in function "
                          "'CURRENT_LIMIT_BEHAVIOR'.");
        }
        // A channel they cannot resolve fails before anything else.
        EXPECT_EQ(GetValue(vi, QMDC_ATTR_OVP_ENABLED, ViBoolean{0}, value, "CH1,CH1"),
                  QMDC_ERROR_BADLY_FORMED_SELECTOR);
        EXPECT_EQ(SetValue(vi, QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, ViInt32{1}, "CH9"),
                  QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER);
    }
    EXPECT_EQ(real.Sent(), Lines{});
}

TEST(AttributeWire, ChannelsOfClassAttributes) {
    ScriptedSession real;
    real.answers().Set("VOLT?", "3\n");
    Value value;
    // An empty bracketed level ("[A" loses both characters) takes nothing
    // from the level after it.
    for (const char* channel : {"", "CH1", " CH1 ", "OutputChannel!!CH1", "[A:CH1", "CH1:[A:CH1"}) {
        value = 0.0;
        EXPECT_EQ(GetValue(real.vi(), QMDC_ATTR_VOLTAGE_LEVEL, 0.0, value, channel), VI_SUCCESS)
            << channel;
        EXPECT_EQ(value, Value(3.0)) << channel;
    }
    for (const char* channel : {"CH1,CH1", "[A"}) {
        EXPECT_EQ(GetValue(real.vi(), QMDC_ATTR_VOLTAGE_LEVEL, 0.0, value, channel),
                  QMDC_ERROR_BADLY_FORMED_SELECTOR)
            << channel;
    }
    real.Sent();
    EXPECT_EQ(SetValue(real.vi(), QMDC_ATTR_OUTPUT_ENABLED, ViBoolean{1}, "[CH1]"), VI_SUCCESS);
    EXPECT_EQ(real.Sent(), (Lines{"OUTP ON", "*ESR?"}));
    // The current limit passes its channel on unchecked: the level it
    // stands for has no channel.
    EXPECT_EQ(SetValue(real.vi(), QMDC_ATTR_CURRENT_LIMIT, 2.0, "no such channel"), VI_SUCCESS);
    EXPECT_EQ(real.Sent(), (Lines{"CURR:PROT 2", "*ESR?"}));
    EXPECT_EQ(QmDC_GetAttributeViReal64(real.vi(), "", QMDC_ATTR_CURRENT_LIMIT, nullptr),
              QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(real.vi()),
              "Null pointer passed for function 'QmDC_GetAttributeViReal64', parameter "
              "'AttributeValue'.");
}

TEST(AttributeWire, TriggerAttributesAreNotSupportedAndRecordNothing) {
    auto simulated = qmdc_test::Simulated();
    const ViSession vi = simulated->vi();
    QmDC_ClearError(vi);
    ViReal64 real = 1.5;
    ViInt32 integer = 4;
    for (ViAttr id : {QMDC_ATTR_TRIGGERED_CURRENT_LIMIT, QMDC_ATTR_TRIGGERED_VOLTAGE_LEVEL}) {
        EXPECT_EQ(QmDC_GetAttributeViReal64(vi, "", id, &real), QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED);
        EXPECT_EQ(QmDC_SetAttributeViReal64(vi, "", id, 1.0), QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED);
    }
    EXPECT_EQ(QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_TRIGGER_SOURCE, &integer),
              QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED);
    EXPECT_EQ(QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_TRIGGER_SOURCE, 1),
              QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED);
    EXPECT_EQ(real, 1.5);
    EXPECT_EQ(integer, 4);
    EXPECT_EQ(ErrorDescription(vi), "");
}

TEST(AttributeWire, DirectIoAttributes) {
    ScriptedSession real;
    ViSession io = 0;
    EXPECT_EQ(QmDC_GetAttributeViSession(real.vi(), "", QMDC_ATTR_SYSTEM_IO_SESSION, &io),
              VI_SUCCESS);
    EXPECT_EQ(io, kiln::FindSession(real.vi())->VisaInstrumentSession());
    EXPECT_EQ(QmDC_SetAttributeViInt32(real.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, 1234),
              VI_SUCCESS);
    ViInt32 timeout = 0;
    EXPECT_EQ(QmDC_GetAttributeViInt32(real.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, &timeout),
              VI_SUCCESS);
    EXPECT_EQ(timeout, 1234);
    EXPECT_EQ(real.Sent(), Lines{});

    auto simulated = qmdc_test::Simulated();
    EXPECT_EQ(QmDC_GetAttributeViSession(simulated->vi(), "", QMDC_ATTR_SYSTEM_IO_SESSION, &io),
              QMDC_ERROR_IO_GENERAL);
    EXPECT_EQ(ErrorDescription(simulated->vi()),
              "I/O error.  Direct I/O operations are not available in simulation mode.");
    EXPECT_EQ(QmDC_SetAttributeViInt32(simulated->vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, 5),
              QMDC_ERROR_IO_GENERAL);
}

}  // namespace
