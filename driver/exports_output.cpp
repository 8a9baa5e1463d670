// Exported IviDCPwr class functions: output configuration (typed Sets of the
// class attributes), limits from the model's ratings, the output state from
// the condition registers, and measurement.
#include <iterator>
#include <string>

#include "QmDC.h"
#include "orvane_session.h"
#include "../kiln/attributes/typed_access.h"
#include "../kiln/attributes/value_checks.h"
#include "../kiln/repcap/resolve_selector.h"
#include "../kiln/session/call_frame.h"

using kiln::DriverSession;

namespace {

// The supply has one range; a range request is only checked, up to ten
// percent above the rating.
constexpr ViReal64 kRangeHeadroom = 1.1;
constexpr ViInt32 kCurrentRange = 0;
constexpr ViInt32 kVoltageRange = 1;

// Which condition register bit answers each output state.
struct StateBit {
    ViAttr registerId;
    ViInt32 mask;
};
const StateBit kOutputStateBits[] = {
    {QMDC_ATTR_OPERATION_CONDITION_REGISTER, 0x200},   // constant voltage
    {QMDC_ATTR_OPERATION_CONDITION_REGISTER, 0x400},   // constant current
    {QMDC_ATTR_QUESTIONABLE_CONDITION_REGISTER, 0x1},  // over voltage
    {QMDC_ATTR_QUESTIONABLE_CONDITION_REGISTER, 0x2},  // over current
    {QMDC_ATTR_OPERATION_CONDITION_REGISTER, 0x800},   // unregulated
};

const OrvaneDCDriverSession& Ratings(DriverSession& session) {
    return static_cast<const OrvaneDCDriverSession&>(session);
}

ViStatus CheckChannel(DriverSession& session, ViConstString channel) {
    size_t channels = 0;
    return kiln::CountSelectedChannels(session, channel, channels);
}

// The largest value of one quantity at a given value of the other, within
// the model's power rating.
ViReal64 WithinPower(ViReal64 rating, ViReal64 other, ViReal64 power) {
    return power >= rating * other ? rating : power / other;
}

template <class Body>
ViStatus QueryFromRatings(ViSession vi, const char* function, const char* parameter,
                          ViConstString channel, ViReal64* value, Body body) {
    return kiln::Framed(vi, [&](DriverSession& s) -> ViStatus {
        ViStatus status = kiln::CheckNullPointer(vi, function, parameter, value);
        if (status < 0) return status;
        status = CheckChannel(s, channel);
        if (status < 0) return status;
        *value = body(Ratings(s));
        return VI_SUCCESS;
    });
}

}  // namespace

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOutputEnabled(ViSession Vi, ViConstString ChannelName,
                                                        ViBoolean Enabled) {
    return kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_OUTPUT_ENABLED, Enabled);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureVoltageLevel(ViSession Vi, ViConstString ChannelName,
                                                       ViReal64 Level) {
    return kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_VOLTAGE_LEVEL, Level);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureCurrentLimit(ViSession Vi, ViConstString ChannelName,
                                                       ViInt32 Behavior, ViReal64 Limit) {
    const ViStatus status =
        kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, Behavior);
    if (status < 0) return status;
    return kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_CURRENT_LIMIT, Limit);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOVP(ViSession Vi, ViConstString ChannelName,
                                              ViBoolean Enabled, ViReal64 Limit) {
    const ViStatus status = kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_OVP_ENABLED, Enabled);
    if (status < 0) return status;
    return kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_OVP_LIMIT, Limit);
}

QMDC_API ViStatus QMDC_CALL QmDC_ResetOutputProtection(ViSession Vi, ViConstString ChannelName) {
    return kiln::SetAttribute(Vi, ChannelName, QMDC_ATTR_OUTPUT_ENABLED, ViBoolean{VI_TRUE});
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOutputRange(ViSession Vi, ViConstString ChannelName,
                                                      ViInt32 RangeType, ViReal64 Range) {
    return kiln::Framed(Vi, [&](DriverSession& s) -> ViStatus {
        const ViStatus status = CheckChannel(s, ChannelName);
        if (status < 0) return status;
        if (RangeType != kCurrentRange && RangeType != kVoltageRange) {
            return kiln::ReportInvalidValue(s, RangeType, "ConfigureOutputRange", "RangeType");
        }
        const ViReal64 rating =
            RangeType == kCurrentRange ? Ratings(s).MaxCurrent() : Ratings(s).MaxVoltage();
        // Nothing is sent or stored whatever the range, so NaN, which no
        // comparison refuses, changes nothing either.
        if (Range < 0.0 || Range > kRangeHeadroom * rating) {
            return kiln::ReportInvalidValue(s, Range, "ConfigureOutputRange", "Range");
        }
        return VI_SUCCESS;
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_QueryMaxCurrentLimit(ViSession Vi, ViConstString ChannelName,
                                                      ViReal64 VoltageLevel,
                                                      ViReal64* MaxCurrentLimit) {
    return QueryFromRatings(Vi, "QmDC_QueryMaxCurrentLimit", "MaxCurrentLimit", ChannelName,
                            MaxCurrentLimit, [&](const OrvaneDCDriverSession& r) {
                                return WithinPower(r.MaxCurrent(), VoltageLevel, r.MaxPower());
                            });
}

QMDC_API ViStatus QMDC_CALL QmDC_QueryMaxVoltageLevel(ViSession Vi, ViConstString ChannelName,
                                                      ViReal64 CurrentLimit,
                                                      ViReal64* MaxVoltageLevel) {
    return QueryFromRatings(Vi, "QmDC_QueryMaxVoltageLevel", "MaxVoltageLevel", ChannelName,
                            MaxVoltageLevel, [&](const OrvaneDCDriverSession& r) {
                                return WithinPower(r.MaxVoltage(), CurrentLimit, r.MaxPower());
                            });
}

QMDC_API ViStatus QMDC_CALL QmDC_QueryOutputState(ViSession Vi, ViConstString ChannelName,
                                                  ViInt32 OutputState, ViBoolean* InState) {
    return kiln::Framed(Vi, [&](DriverSession& s) -> ViStatus {
        ViStatus status = kiln::CheckNullPointer(Vi, "QmDC_QueryOutputState", "InState", InState);
        if (status < 0) return status;
        status = CheckChannel(s, ChannelName);
        if (status < 0) return status;
        if (s.GetSimulate()) {
            *InState = OutputState == QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE ? VI_TRUE : VI_FALSE;
            return VI_SUCCESS;
        }
        if (static_cast<ViUInt32>(OutputState) >= std::size(kOutputStateBits)) {
            return s.ReportError(QMDC_ERROR_VALUE_NOT_SUPPORTED,
                                 {std::to_string(OutputState), "OutputState", "QueryOutputState"});
        }
        const StateBit& bit = kOutputStateBits[OutputState];
        ViInt32 condition = 0;
        status = QmDC_GetAttributeViInt32(Vi, ChannelName, bit.registerId, &condition);
        if (status < 0) return status;
        *InState = (condition & bit.mask) != 0 ? VI_TRUE : VI_FALSE;
        return s.CheckStatus();
    });
}

QMDC_API ViStatus QMDC_CALL QmDC_Measure(ViSession Vi, ViConstString, ViInt32 MeasurementType,
                                         ViReal64* Measurement) {
    return kiln::Framed(Vi, [&](DriverSession& s) -> ViStatus {
        const ViStatus status =
            kiln::CheckNullPointer(Vi, "QmDC_Measure", "Measurement", Measurement);
        if (status < 0) return status;
        switch (MeasurementType) {
            case QMDC_VAL_MEASURE_CURRENT:
                return QmDC_MeasureCurrent(Vi, Measurement);
            case QMDC_VAL_MEASURE_VOLTAGE:
                return QmDC_MeasureVoltage(Vi, Measurement);
            default:
                return s.ReportError(
                    QMDC_ERROR_VALUE_NOT_SUPPORTED,
                    {std::to_string(MeasurementType), "MeasurementType", "Measure"});
        }
    });
}

}  // extern "C"
