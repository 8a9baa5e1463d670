#include "enum_maps.h"

namespace qmdc {
namespace {

using kiln::EnumCommandInfo;
using kiln::EnumCommandMap;

// The names of a map's values come first as name-only entries, so that every
// value has a name even where no token is defined for it.
const char* const kNameOnly = "!!!";

EnumCommandInfo NameOnly(const char* name, ViInt32 value) {
    return EnumCommandInfo(name, value, kNameOnly, kNameOnly);
}

EnumCommandInfo Tokens(const char* name, ViInt32 value, const char* commands) {
    return EnumCommandInfo(name, value, commands, "");
}

}  // namespace

// clang-format off
const EnumCommandMap& AnalogOutputModeMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_ANALOG_OUTPUT_MODE_DISABLED", 0),
        NameOnly("QMDC_VAL_ANALOG_OUTPUT_MODE_PARALLEL", 1),
        NameOnly("QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES", 2),
        Tokens("QMDC_VAL_ANALOG_OUTPUT_MODE_DISABLED", 0, "DIS, DISABLED"),
        Tokens("QMDC_VAL_ANALOG_OUTPUT_MODE_PARALLEL", 1, "PAR, PARALLEL"),
        Tokens("QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES", 2, "SER, SERIES"),
    });
    return map;
}

const EnumCommandMap& AnalogScalingLevelMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3", 0),
        NameOnly("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5", 1),
        NameOnly("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_10", 2),
        Tokens("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3", 0, "3"),
        Tokens("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5", 1, "5"),
        Tokens("QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_10", 2, "10"),
    });
    return map;
}

const EnumCommandMap& BooleanMap() {
    static const EnumCommandMap map({
        Tokens("VI_TRUE", 1, "ON,  1"),
        Tokens("VI_FALSE", 0, "OFF,  0"),
    });
    return map;
}

const EnumCommandMap& ControlSourceMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_CONTROL_SOURCE_LOCAL", 0),
        NameOnly("QMDC_VAL_CONTROL_SOURCE_REMOTE", 1),
        NameOnly("QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK", 2),
        NameOnly("QMDC_VAL_CONTROL_SOURCE_ANALOG_VOLTAGE", 3),
        NameOnly("QMDC_VAL_CONTROL_SOURCE_ANALOG_CURRENT", 4),
        NameOnly("QMDC_VAL_CONTROL_SOURCE_ANALOG_DUAL", 5),
        Tokens("QMDC_VAL_CONTROL_SOURCE_LOCAL", 0, "LOC"),
        Tokens("QMDC_VAL_CONTROL_SOURCE_REMOTE", 1, "REM"),
        Tokens("QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK", 2, "RWL"),
        Tokens("QMDC_VAL_CONTROL_SOURCE_ANALOG_VOLTAGE", 3, "VOLT"),
        Tokens("QMDC_VAL_CONTROL_SOURCE_ANALOG_CURRENT", 4, "CURR"),
        Tokens("QMDC_VAL_CONTROL_SOURCE_ANALOG_DUAL", 5, "DUAL"),
    });
    return map;
}

const EnumCommandMap& RemoteSenseStatusMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_REMOTE_SENSE_STATUS_DORMANT", 0),
        NameOnly("QMDC_VAL_REMOTE_SENSE_STATUS_CALCULATING", 1),
        NameOnly("QMDC_VAL_REMOTE_SENSE_STATUS_COMPLETE", 2),
        Tokens("QMDC_VAL_REMOTE_SENSE_STATUS_DORMANT", 0, "DORMANT"),
        Tokens("QMDC_VAL_REMOTE_SENSE_STATUS_CALCULATING", 1, "CALCULATING"),
        Tokens("QMDC_VAL_REMOTE_SENSE_STATUS_COMPLETE", 2, "COMPLETE"),
    });
    return map;
}

const EnumCommandMap& CurrentLimitBehaviorMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_CURRENT_REGULATE", 0),
        NameOnly("QMDC_VAL_CURRENT_TRIP", 1),
    });
    return map;
}

const EnumCommandMap& MeasurementTypeMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_MEASURE_CURRENT", 0),
        NameOnly("QMDC_VAL_MEASURE_VOLTAGE", 1),
    });
    return map;
}

const EnumCommandMap& OutputStateMap() {
    static const EnumCommandMap map({
        NameOnly("QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE", 0),
        NameOnly("QMDC_VAL_OUTPUT_CONSTANT_CURRENT", 1),
        NameOnly("QMDC_VAL_OUTPUT_OVER_VOLTAGE", 2),
        NameOnly("QMDC_VAL_OUTPUT_OVER_CURRENT", 3),
        NameOnly("QMDC_VAL_OUTPUT_UNREGULATED", 4),
    });
    return map;
}
// clang-format on

}  // namespace qmdc
