// Exported instrument-specific operations: one-shot commands and the two
// measurements. Each command is a row: what it sends, and what a simulated
// session does instead.
#include "QmDC.h"
#include "../kiln/attributes/typed_access.h"
#include "../kiln/session/call_frame.h"
#include "../kiln/session/driver_session.h"

using kiln::DriverSession;

namespace {

struct OneShotCommand {
    const char* command;
    // In simulation the command's effect on the stored state, as a Set of
    // this attribute to this value; 0 when it has none.
    ViAttr simulatedAttribute;
    ViReal64 simulatedValue;
};

// clang-format off
constexpr OneShotCommand kSaveState            {"SYST:CONF:SAVE\n", 0, 0.0};
constexpr OneShotCommand kSetMaxCurrentLevel   {"CURR MAX\n", 0, 0.0};
constexpr OneShotCommand kSetMinCurrentLevel   {"CURR MIN\n", QMDC_ATTR_CURRENT_LEVEL, 0.0};
constexpr OneShotCommand kSetMaxVoltageLevel   {"VOLT MAX\n", QMDC_ATTR_VOLTAGE_LEVEL, 35.0};
constexpr OneShotCommand kSetMinVoltageLevel   {"VOLT MIN\n", 0, 0.0};
constexpr OneShotCommand kSetMaxPowerLevel     {"POW MAX\n", QMDC_ATTR_POWER_LEVEL, 600.0};
constexpr OneShotCommand kSetMinPowerLevel     {"POW MIN\n", QMDC_ATTR_POWER_LEVEL, 0.0};
constexpr OneShotCommand kSetOperationComplete {"*OPC\n", 0, 0.0};
constexpr OneShotCommand kStatusPreset         {"STAT:PRES\n", 0, 0.0};
constexpr OneShotCommand kClearErrors          {"SYST:ERR:CLE\n", 0, 0.0};
constexpr OneShotCommand kClearSelfTestResults {"TEST:SELF:CLE\n", 0, 0.0};
// clang-format on

ViStatus Run(ViSession vi, const OneShotCommand& c) {
    return kiln::Framed(vi, [&](DriverSession& s) -> ViStatus {
        if (s.GetSimulate()) {
            if (c.simulatedAttribute == 0) return VI_SUCCESS;
            return kiln::SetAttribute(vi, nullptr, c.simulatedAttribute, c.simulatedValue);
        }
        const ViStatus status = s.Printf(c.command);
        return status < 0 ? status : s.CheckStatus();
    });
}

// A command with numbers, which a simulated session does not send.
template <class... Numbers>
ViStatus SendNumbers(ViSession vi, const char* format, Numbers... numbers) {
    return kiln::Framed(vi, [&](DriverSession& s) -> ViStatus {
        if (s.GetSimulate()) return VI_SUCCESS;
        const ViStatus status = s.Printf(format, numbers...);
        return status < 0 ? status : s.CheckStatus();
    });
}

// A measurement: 0.0 in simulation, never stored.
ViStatus Measure(ViSession vi, const char* function, const char* query, ViReal64* value) {
    return kiln::Framed(vi, [&](DriverSession& s) -> ViStatus {
        const ViStatus status = kiln::CheckNullPointer(vi, function, "Val", value);
        if (status < 0) return status;
        if (s.GetSimulate()) {
            *value = 0.0;
            return VI_SUCCESS;
        }
        const ViStatus queried = s.QueryNumber(query, "%lf%*t", value);
        return queried < 0 ? queried : s.CheckStatus();
    });
}

}  // namespace

extern "C" {

QMDC_API ViStatus QMDC_CALL QmDC_CalculateRemoteSenseResistance(ViSession Vi, ViReal64 Value) {
    return SendNumbers(Vi, "RSEN:RES:CALC %0.15lg\n", Value);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureCurrentCalibration(ViSession Vi, ViReal64 Value1,
                                                             ViReal64 Value2, ViReal64 Value3,
                                                             ViReal64 Value4) {
    return SendNumbers(Vi, "CAL:CALC:CURR:PAR %0.15lg,%0.15lg,%0.15lg,%0.15lg\n", Value1, Value2,
                       Value3, Value4);
}

QMDC_API ViStatus QMDC_CALL QmDC_ConfigureVoltageCalibration(ViSession Vi, ViReal64 Value1,
                                                             ViReal64 Value2, ViReal64 Value3,
                                                             ViReal64 Value4) {
    return SendNumbers(Vi, "CAL:CALC:VOLT:PAR %0.15lg,%0.15lg,%0.15lg,%0.15lg\n", Value1, Value2,
                       Value3, Value4);
}

QMDC_API ViStatus QMDC_CALL QmDC_MeasureCurrent(ViSession Vi, ViReal64* Val) {
    return Measure(Vi, "QmDC_MeasureCurrent", "MEAS:CURR?\n", Val);
}

QMDC_API ViStatus QMDC_CALL QmDC_MeasureVoltage(ViSession Vi, ViReal64* Val) {
    return Measure(Vi, "QmDC_MeasureVoltage", "MEAS:VOLT?\n", Val);
}

QMDC_API ViStatus QMDC_CALL QmDC_SaveState(ViSession Vi) {
    return Run(Vi, kSaveState);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxCurrentLevel(ViSession Vi) {
    return Run(Vi, kSetMaxCurrentLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMinCurrentLevel(ViSession Vi) {
    return Run(Vi, kSetMinCurrentLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxVoltageLevel(ViSession Vi) {
    return Run(Vi, kSetMaxVoltageLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMinVoltageLevel(ViSession Vi) {
    return Run(Vi, kSetMinVoltageLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxPowerLevel(ViSession Vi) {
    return Run(Vi, kSetMaxPowerLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetMinPowerLevel(ViSession Vi) {
    return Run(Vi, kSetMinPowerLevel);
}
QMDC_API ViStatus QMDC_CALL QmDC_SetOperationComplete(ViSession Vi) {
    return Run(Vi, kSetOperationComplete);
}
QMDC_API ViStatus QMDC_CALL QmDC_StatusPreset(ViSession Vi) {
    return Run(Vi, kStatusPreset);
}
QMDC_API ViStatus QMDC_CALL QmDC_ClearErrors(ViSession Vi) {
    return Run(Vi, kClearErrors);
}
QMDC_API ViStatus QMDC_CALL QmDC_ClearSelfTestResults(ViSession Vi) {
    return Run(Vi, kClearSelfTestResults);
}

}  // extern "C"
