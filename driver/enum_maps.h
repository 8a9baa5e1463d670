// The maps between the supply's SCPI tokens and the driver's defined values.
#pragma once

#include "../kiln/attributes/enum_command_map.h"

namespace qmdc {

const kiln::EnumCommandMap& AnalogOutputModeMap();
const kiln::EnumCommandMap& AnalogScalingLevelMap();
const kiln::EnumCommandMap& BooleanMap();
const kiln::EnumCommandMap& ControlSourceMap();
const kiln::EnumCommandMap& RemoteSenseStatusMap();
// Name-only maps: they name values in error descriptions.
const kiln::EnumCommandMap& CurrentLimitBehaviorMap();
const kiln::EnumCommandMap& MeasurementTypeMap();
const kiln::EnumCommandMap& OutputStateMap();

}  // namespace qmdc
