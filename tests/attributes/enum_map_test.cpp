// Defined values and instrument tokens: the driver's maps both ways, and the
// model rules on a map of the test's own with exact-model and family entries.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "QmDC.h"
#include "driver/enum_maps.h"
#include "driver_test_support.h"
#include "kiln/attributes/enum_command_map.h"
#include "kiln/attributes/split_list.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"

using kiln::EnumCommandInfo;
using kiln::EnumCommandMap;
using qmdc_test::ErrorDescription;

namespace {

kiln::DriverSession& SessionOf(const qmdc_test::Session& session) {
    return *kiln::FindSession(session.vi());
}

struct ResponseCase {
    const EnumCommandMap& (*map)();
    const char* response;
    ViInt32 value;  // -1: the response is refused
};

TEST(EnumMaps, ResponsesToValues) {
    auto session = qmdc_test::Simulated();
    kiln::DriverSession& s = SessionOf(*session);
    const ResponseCase cases[] = {
        {qmdc::BooleanMap, "1", 1},
        {qmdc::BooleanMap, "ON", 1},
        {qmdc::BooleanMap, "on", 1},
        {qmdc::BooleanMap, " On\r\n", 1},
        {qmdc::BooleanMap, "0", 0},
        {qmdc::BooleanMap, "OFF", 0},
        {qmdc::BooleanMap, "off", 0},
        {qmdc::BooleanMap, "TRUE", -1},
        {qmdc::BooleanMap, "2", -1},
        {qmdc::BooleanMap, "", -1},
        {qmdc::ControlSourceMap, "rwl", 2},
        {qmdc::ControlSourceMap, "LOC", 0},
        {qmdc::ControlSourceMap, "dual", 5},
        {qmdc::ControlSourceMap, "!!!", -1},  // a name-only entry never converts
        {qmdc::ControlSourceMap, "REMOTE", -1},
        {qmdc::AnalogOutputModeMap, "DIS", 0},
        {qmdc::AnalogOutputModeMap, "disabled", 0},
        {qmdc::AnalogOutputModeMap, "  PARALLEL ", 1},
        {qmdc::AnalogOutputModeMap, "SERIES", 2},
        {qmdc::AnalogOutputModeMap, "DISA", -1},
        {qmdc::AnalogScalingLevelMap, "10", 2},
        {qmdc::AnalogScalingLevelMap, "3", 0},
        {qmdc::AnalogScalingLevelMap, "10.0", -1},
        {qmdc::RemoteSenseStatusMap, "calculating", 1},
        {qmdc::RemoteSenseStatusMap, "COMPLETE", 2},
        {qmdc::CurrentLimitBehaviorMap, "QMDC_VAL_CURRENT_TRIP", -1},
    };
    for (const ResponseCase& c : cases) {
        ViInt32 value = 99;
        const ViStatus status = kiln::ResponseToValue(s, c.map(), c.response, value);
        EXPECT_EQ(value, c.value) << c.response;
        if (c.value >= 0) {
            EXPECT_EQ(status, VI_SUCCESS) << c.response;
        } else {
            EXPECT_EQ(status, QMDC_ERROR_UNEXPECTED_RESPONSE) << c.response;
            EXPECT_EQ(ErrorDescription(session->vi()),
                      std::string("Unexpected response from instrument.  Could not convert "
                                  "instrument response (") +
                          c.response + ") to a defined value.");
        }
    }
}

struct CommandCase {
    const EnumCommandMap& (*map)();
    ViInt32 value;
    const char* command;  // nullptr: the value has no token
};

TEST(EnumMaps, ValuesToCommandsAndNames) {
    auto session = qmdc_test::Simulated();
    kiln::DriverSession& s = SessionOf(*session);
    const CommandCase cases[] = {
        {qmdc::BooleanMap, 1, "ON"},
        {qmdc::BooleanMap, 0, "OFF"},
        {qmdc::BooleanMap, 2, nullptr},
        {qmdc::ControlSourceMap, 3, "VOLT"},
        {qmdc::ControlSourceMap, 2, "RWL"},
        {qmdc::ControlSourceMap, 6, nullptr},
        {qmdc::AnalogOutputModeMap, 2, "SER"},  // the first token, never "SERIES"
        {qmdc::AnalogScalingLevelMap, 1, "5"},
        {qmdc::RemoteSenseStatusMap, 0, "DORMANT"},
        {qmdc::CurrentLimitBehaviorMap, 1, nullptr},  // named, but no token
        {qmdc::OutputStateMap, 0, nullptr},
    };
    for (const CommandCase& c : cases) {
        std::string command = "stale";
        const ViStatus status = kiln::ValueToCommand(s, c.map(), c.value, command);
        if (c.command != nullptr) {
            EXPECT_EQ(status, VI_SUCCESS) << c.value;
            EXPECT_EQ(command, c.command);
        } else {
            EXPECT_EQ(status, QMDC_ERROR_CANNOT_RECOVER) << c.value;
            EXPECT_EQ(command, "");
            EXPECT_EQ(ErrorDescription(session->vi()),
                      "Failure cannot recover.  Could not convert defined value '" +
                          std::to_string(c.value) + "' to an instrument command.");
        }
    }
    EXPECT_EQ(kiln::ValueToName(qmdc::CurrentLimitBehaviorMap(), 0), "QMDC_VAL_CURRENT_REGULATE");
    EXPECT_EQ(kiln::ValueToName(qmdc::CurrentLimitBehaviorMap(), 9), "9");
    EXPECT_EQ(kiln::ValueToName(qmdc::OutputStateMap(), 4), "QMDC_VAL_OUTPUT_UNREGULATED");
    EXPECT_EQ(kiln::ValueToName(qmdc::MeasurementTypeMap(), -1), "-1");
    EXPECT_EQ(kiln::ValueToName(qmdc::BooleanMap(), 0), "VI_FALSE");
    EXPECT_EQ(kiln::ValueToName(qmdc::ControlSourceMap(), 3),
              "QMDC_VAL_CONTROL_SOURCE_ANALOG_VOLTAGE");
}

// A map with model rules. Rack 30-70 QM is a model of its own and of the
// family "DefaultFamily"; Bench 50-20 QM is of the family only; Rack 60-25 QM
// follows the model grammar but is in no family.
const EnumCommandMap& ModelMap() {
    static const EnumCommandMap map({
        EnumCommandInfo("FAMILY_U", 7, "U", "DefaultFamily"),  // before its rival for everyone
        EnumCommandInfo("ANYONE_Y", 3, "Y", ""),
        EnumCommandInfo("EXACT_X", 1, "X", "Rack 30-70 QM"),
        EnumCommandInfo("FAMILY_XY", 2, "X, Y", "DefaultFamily"),
        EnumCommandInfo("ANYONE_W", 4, "W", ""),
        EnumCommandInfo("ANYONE_V", 2, "V", ""),
        EnumCommandInfo("OTHER_Z", 5, "Z", "Rack 400-5 QM"),
        EnumCommandInfo("EXACT_X_AGAIN", 6, "X", "Rack 30-70 QM"),  // exact entries may share
        EnumCommandInfo("ANYONE_U", 8, "U", ""),
    });
    return map;
}

struct ModelCase {
    const char* model;
    const char* response;
    ViInt32 value;
};

TEST(EnumMaps, ExactModelsBeatFamiliesWhichBeatEveryModel) {
    const ModelCase cases[] = {
        {"Rack 30-70 QM", "X", 1},  // the exact entry wins at once, in map order
        {"Rack 30-70 QM", "Y", 2},  // the family entry beats the earlier one for every model
        {"Rack 30-70 QM", "W", 4},
        {"Rack 30-70 QM", "V", -1},  // value 2 is this model's own,
                                     // with its own tokens
        {"Rack 30-70 QM", "Z", -1},  // another model's token
        {"Bench 50-20 QM", "X", 2},
        {"Bench 50-20 QM", "y", 2},
        {"Bench 50-20 QM", "V", -1},
        {"Rack 60-25 QM", "X", -1},
        {"Rack 60-25 QM", "Y", 3},
        {"Rack 60-25 QM", "V", 2},
        {"Rack 400-5 QM", "Z", 5},
        // The family entry wins whether it comes before or after the rival
        // entry for every model.
        {"Rack 30-70 QM", "U", 7},
        {"Bench 50-20 QM", "u", 7},
        {"Rack 60-25 QM", "U", 8},
    };
    for (const ModelCase& c : cases) {
        qmdc_test::Session session("TCPIP0::sim::5025::SOCKET",
                                   std::string("Simulate=1, DriverSetup=Model:") + c.model);
        ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
        ViInt32 value = 99;
        kiln::ResponseToValue(SessionOf(session), ModelMap(), c.response, value);
        EXPECT_EQ(value, c.value) << c.model << " answering " << c.response;
    }
}

TEST(EnumMaps, CommandsFollowTheSameRules) {
    struct Case {
        const char* model;
        ViInt32 value;
        const char* command;
    };
    const Case cases[] = {
        {"Rack 30-70 QM", 1, "X"}, {"Rack 30-70 QM", 2, "X"},     {"Bench 50-20 QM", 2, "X"},
        {"Rack 60-25 QM", 2, "V"}, {"Rack 60-25 QM", 1, nullptr}, {"Rack 60-25 QM", 3, "Y"},
        {"Rack 400-5 QM", 5, "Z"}, {"Rack 30-70 QM", 5, nullptr},
    };
    for (const Case& c : cases) {
        qmdc_test::Session session("TCPIP0::sim::5025::SOCKET",
                                   std::string("Simulate=1, DriverSetup=Model:") + c.model);
        ASSERT_EQ(session.status(), VI_SUCCESS);
        std::string command;
        const ViStatus status =
            kiln::ValueToCommand(SessionOf(session), ModelMap(), c.value, command);
        EXPECT_EQ(status, c.command ? VI_SUCCESS : QMDC_ERROR_CANNOT_RECOVER) << c.model << c.value;
        EXPECT_EQ(command, c.command ? c.command : "") << c.model << " " << c.value;
    }
}

TEST(EnumMaps, RivalEntriesAreRefusedWhenTheMapIsBuilt) {
    const kiln::ModelFamilies families = {{"A 1", "F"}, {"B 2", "F"}, {"C 3", "G"}};
    EXPECT_THROW(EnumCommandMap(
                     {EnumCommandInfo("ONE", 1, "ON, 1", ""), EnumCommandInfo("TWO", 2, "on", "")},
                     families),
                 std::logic_error);
    EXPECT_THROW(EnumCommandMap({EnumCommandInfo("ONE", 1, "P", "F"),
                                 EnumCommandInfo("TWO", 2, "Q, p", "F, G")},
                                families),
                 std::logic_error);
    // Different families, exact entries and name-only entries do not compete.
    EXPECT_NO_THROW(EnumCommandMap(
        {EnumCommandInfo("ONE", 1, "P", "F"), EnumCommandInfo("TWO", 2, "P", "G"),
         EnumCommandInfo("THREE", 3, "P", "A 1"), EnumCommandInfo("FOUR", 4, "P", "A 1"),
         EnumCommandInfo("FIVE", 5, "P", ""), EnumCommandInfo("SIX", 6, "!!!", "!!!"),
         EnumCommandInfo("SEVEN", 7, "!!!", "!!!")},
        families));
    // An entry for every model and a family entry may share a token.
    EXPECT_NO_THROW(EnumCommandMap(
        {EnumCommandInfo("ONE", 1, "P", "F"), EnumCommandInfo("TWO", 2, "P", "")}, families));
}

TEST(EnumMaps, ListsAreSplitAndTrimmed) {
    using V = std::vector<std::string>;
    EXPECT_EQ(kiln::SplitList("A,,B", ',', true), (V{"A", "", "B"}));
    EXPECT_EQ(kiln::SplitList("A,", ',', true), (V{"A"}));
    EXPECT_EQ(kiln::SplitList(" A , B ", ',', true), (V{"A", "B"}));
    EXPECT_EQ(kiln::SplitList("", ',', true), V{});
    EXPECT_EQ(kiln::SplitList("ON,  1", ',', true), (V{"ON", "1"}));
    EXPECT_EQ(EnumCommandInfo("N", 1, "!!!", "!!!").Models, V{"!!!"});
    EXPECT_TRUE(kiln::TokenMatches(" DIS\r\n", "dis"));
    EXPECT_FALSE(kiln::TokenMatches("DIS", "DISA"));
    EXPECT_FALSE(kiln::TokenMatches("1", "1.0"));
}

}  // namespace
