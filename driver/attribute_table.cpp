#include "attribute_table.h"

#include "QmDC.h"
#include "enum_maps.h"
#include "identity.h"
#include "io_attribute_callbacks.h"
#include "../kiln/attributes/value_checks.h"
#include "../kiln/repcap/channel_names.h"
#include "../kiln/session/driver_session.h"

namespace qmdc {
namespace {

using kiln::AttributeRow;
using kiln::DriverSession;

// The id and the macro name of an attribute, from its short name.
#define ATTR(name) QMDC_ATTR_##name, "QMDC_ATTR_" #name

constexpr auto Int32 = kiln::ValueType::Int32;
constexpr auto Real64 = kiln::ValueType::Real64;
constexpr auto Boolean = kiln::ValueType::Boolean;
constexpr auto Session = kiln::ValueType::Session;
constexpr auto String = kiln::ValueType::String;
constexpr auto R = kiln::Access::ReadOnly;
constexpr auto RW = kiln::Access::ReadWrite;
constexpr auto NoChannel = kiln::ChannelRule::Ignored;
constexpr auto Channel = kiln::ChannelRule::PerChannel;
constexpr auto NotStored = kiln::CacheRule::NotStored;
constexpr auto Stored = kiln::CacheRule::Stored;

using kiln::Default;
using kiln::Fixed;
using kiln::FixedText;
using kiln::Instrument;

// Enumerated and Boolean answers are read as the line; the two analog scaling
// levels share one answer, "<current>,<voltage>".
constexpr const char* kLine = "%#[^\n]%*t";
constexpr const char* kReal = "%lf%*t";
constexpr const char* kInteger = "%ld%*t";

std::string LogicalName(const DriverSession& s) {
    return s.GetLogicalName();
}
std::string IoResourceDescriptor(const DriverSession& s) {
    return s.GetIoResourceDescriptor();
}
std::string DriverSetup(const DriverSession& s) {
    return s.GetDriverSetup();
}
std::string InstrumentModel(const DriverSession& s) {
    return s.GetInstrumentModel();
}
// A simulated instrument was made by the driver's vendor.
std::string InstrumentManufacturer(const DriverSession& s) {
    return s.GetSimulate() ? kiln::DRIVER_VENDOR : s.GetInstrumentManufacturer();
}

// Refused values of the two class attributes that accept one value only.
std::string RefusedOvpEnabled(ViInt32) {
    return "VI_FALSE";
}
std::string RefusedCurrentLimitBehavior(ViInt32 value) {
    return kiln::ValueToName(CurrentLimitBehaviorMap(), value);
}

}  // namespace

// Built on first use: the framework reads it when the library is loaded.
const std::vector<AttributeRow>& AttributeTable() {
    // clang-format off
    static const std::vector<AttributeRow> rows = {
        // Identity of the driver: constants, answered without a session.
        {ATTR(SPECIFIC_DRIVER_DESCRIPTION), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::DRIVER_DESCRIPTION; })},
        {ATTR(SPECIFIC_DRIVER_PREFIX), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::DRIVER_PREFIX; })},
        {ATTR(SPECIFIC_DRIVER_VENDOR), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::DRIVER_VENDOR; })},
        {ATTR(SPECIFIC_DRIVER_REVISION), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::DRIVER_REVISION; })},
        {ATTR(SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION), Int32, R, NoChannel, NotStored,
         kiln::Constant(kiln::CLASS_SPEC_MAJOR_VERSION)},
        {ATTR(SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION), Int32, R, NoChannel, NotStored,
         kiln::Constant(kiln::CLASS_SPEC_MINOR_VERSION)},

        // The inherent options.
        {ATTR(RANGE_CHECK), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetRangeCheck, &DriverSession::SetRangeCheck)},
        {ATTR(QUERY_INSTRUMENT_STATUS), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetQueryInstrStatus, &DriverSession::SetQueryInstrStatus)},
        {ATTR(CACHE), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetCache, &DriverSession::SetCache)},
        {ATTR(SIMULATE), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetSimulate, &DriverSession::SetSimulate,
                          &kiln::RefuseSimulationChange)},
        {ATTR(RECORD_COERCIONS), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetRecordCoercions, &DriverSession::SetRecordCoercions)},
        {ATTR(INTERCHANGE_CHECK), Boolean, RW, NoChannel, NotStored,
         kiln::OptionFlag(&DriverSession::GetInterchangeCheck, &DriverSession::SetInterchangeCheck,
                          &kiln::RefuseInterchangeCheck)},

        // What the session was opened on, and the instrument it found.
        {ATTR(LOGICAL_NAME), String, R, NoChannel, NotStored, kiln::SessionText(&LogicalName)},
        {ATTR(IO_RESOURCE_DESCRIPTOR), String, R, NoChannel, NotStored,
         kiln::SessionText(&IoResourceDescriptor)},
        {ATTR(DRIVER_SETUP), String, R, NoChannel, NotStored, kiln::SessionText(&DriverSetup)},
        {ATTR(GROUP_CAPABILITIES), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::GROUP_CAPABILITIES; })},
        {ATTR(SUPPORTED_INSTRUMENT_MODELS), String, R, NoChannel, NotStored,
         kiln::ConstantText([] { return kiln::SupportedModelsText().c_str(); })},
        {ATTR(INSTRUMENT_FIRMWARE_REVISION), String, R, NoChannel, NotStored,
         kiln::SessionText(&kiln::InstrumentFirmwareRevisionText)},
        {ATTR(INSTRUMENT_MANUFACTURER), String, R, NoChannel, NotStored,
         kiln::SessionText(&InstrumentManufacturer)},
        {ATTR(INSTRUMENT_MODEL), String, R, NoChannel, NotStored, kiln::SessionText(&InstrumentModel)},

        // IviDCPwrBase, per channel. The supply reports and accepts only the
        // trip behaviour and an enabled over-voltage protection; the current
        // limit is its over-current protection level.
        {ATTR(CURRENT_LIMIT), Real64, RW, Channel, NotStored,
         kiln::Alias(QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL)},
        {ATTR(CURRENT_LIMIT_BEHAVIOR), Int32, RW, Channel, NotStored,
         kiln::SingleValue(QMDC_VAL_CURRENT_TRIP, &RefusedCurrentLimitBehavior,
                           &CurrentLimitBehaviorMap)},
        {ATTR(OUTPUT_ENABLED), Boolean, RW, Channel, NotStored,
         Instrument("OUTP %s\n", "OUTP?\n", kLine, &BooleanMap), Fixed(VI_TRUE)},
        {ATTR(OVP_ENABLED), Boolean, RW, Channel, NotStored,
         kiln::SingleValue(VI_TRUE, &RefusedOvpEnabled, &BooleanMap)},
        {ATTR(OVP_LIMIT), Real64, RW, Channel, NotStored,
         Instrument("VOLT:PROT %0.15lg\n", "VOLT:PROT?\n", kReal), Fixed(0.0)},
        {ATTR(VOLTAGE_LEVEL), Real64, RW, Channel, NotStored,
         Instrument("VOLT %0.15lg\n", "VOLT?\n", kReal), Fixed(0.0)},

        {ATTR(CHANNEL_COUNT), Int32, R, NoChannel, NotStored,
         kiln::Custom(&kiln::GetChannelCount, nullptr)},

        // IviDCPwrTrigger: not supported by the supply.
        {ATTR(TRIGGERED_CURRENT_LIMIT), Real64, RW, NoChannel, NotStored, kiln::Unsupported()},
        {ATTR(TRIGGERED_VOLTAGE_LEVEL), Real64, RW, NoChannel, NotStored, kiln::Unsupported()},
        {ATTR(TRIGGER_SOURCE), Int32, RW, NoChannel, NotStored, kiln::Unsupported()},

        // Direct I/O: the VISA session and its timeout (milliseconds).
        {ATTR(SYSTEM_IO_SESSION), Session, R, NoChannel, NotStored,
         kiln::Custom(&GetSystemIoSession, nullptr)},
        {ATTR(SYSTEM_IO_TIMEOUT), Int32, RW, NoChannel, NotStored,
         kiln::Custom(&GetSystemIoTimeout, &SetSystemIoTimeout)},

        // The SCPI status registers. Condition and event registers are read
        // only and answer 0 in simulation; enable registers read back what
        // was set.
        {ATTR(OPERATION_CONDITION_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:OPER:COND?\n", kInteger), Fixed(0)},
        {ATTR(OPERATION_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("STAT:OPER:ENAB %ld\n", "STAT:OPER:ENAB?\n", kInteger), Default(0)},
        {ATTR(OPERATION_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:OPER?\n", kInteger), Fixed(0)},
        {ATTR(QUESTIONABLE_CONDITION_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES:COND?\n", kInteger), Fixed(0)},
        {ATTR(QUESTIONABLE_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("STAT:QUES:ENAB %ld\n", "STAT:QUES:ENAB?\n", kInteger), Default(0)},
        {ATTR(QUESTIONABLE_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES?\n", kInteger), Fixed(0)},
        {ATTR(HARDWARE_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("STAT:QUES:HARD:ENAB %ld\n", "STAT:QUES:HARD:ENAB?\n", kInteger), Default(0)},
        {ATTR(HARDWARE_CONDITION_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES:HARD:COND?\n", kInteger), Fixed(0)},
        {ATTR(HARDWARE_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES:HARD?\n", kInteger), Fixed(0)},
        {ATTR(TEMPERATURE_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("STAT:QUES:TEMP:ENAB %ld\n", "STAT:QUES:TEMP:ENAB?\n", kInteger), Default(0)},
        {ATTR(TEMPERATURE_CONDITION_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES:TEMP:COND?\n", kInteger), Fixed(0)},
        {ATTR(TEMPERATURE_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "STAT:QUES:TEMP?\n", kInteger), Fixed(0)},
        {ATTR(STANDARD_EVENT_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("*ESE %ld\n", "*ESE?\n", kInteger), Default(0)},
        {ATTR(STANDARD_EVENT_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "*ESR?\n", kInteger), Fixed(0)},
        {ATTR(STATUS_BYTE_ENABLE_REGISTER), Int32, RW, NoChannel, Stored,
         Instrument("*SRE %ld\n", "*SRE?\n", kInteger), Default(0)},
        {ATTR(STATUS_BYTE_EVENT_REGISTER), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "*STB?\n", kInteger), Fixed(0)},

        // Output levels and protections, remote sensing.
        {ATTR(AUTO_START_ENABLED), Boolean, RW, NoChannel, Stored,
         Instrument("OUTP:AUTO %s\n", "OUTP:AUTO?\n", kLine, &BooleanMap), Default(VI_FALSE)},
        {ATTR(CURRENT_LEVEL), Real64, RW, NoChannel, Stored,
         Instrument("CURR %0.15lg\n", "CURR?\n", kReal), Default(3.5)},
        {ATTR(OVER_CURRENT_PROTECTION_LEVEL), Real64, RW, NoChannel, Stored,
         Instrument("CURR:PROT %0.15lg\n", "CURR:PROT?\n", kReal), Default(5.5)},
        {ATTR(POWER_LEVEL), Real64, RW, NoChannel, Stored,
         Instrument("POW %0.15lg\n", "POW?\n", kReal), Default(300.0)},
        {ATTR(OVER_POWER_PROTECTION_LEVEL), Real64, RW, NoChannel, Stored,
         Instrument("POW:PROT %0.15lg\n", "POW:PROT?\n", kReal), Default(500.0)},
        {ATTR(REMOTE_SENSE_ENABLED), Boolean, RW, NoChannel, Stored,
         Instrument("RSEN %s\n", "RSEN?\n", kLine, &BooleanMap), Default(VI_TRUE)},
        {ATTR(REMOTE_SENSE_RESISTANCE), Real64, RW, NoChannel, Stored,
         Instrument("RSEN:RES %0.15lg\n", "RSEN:RES?\n", kReal), Default(1500000.0)},
        {ATTR(REMOTE_SENSE_CALCULATION_STATUS), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "RSEN:RES:CALC?\n", kLine, &RemoteSenseStatusMap),
         Fixed(QMDC_VAL_REMOTE_SENSE_STATUS_DORMANT)},

        // Analog programming and the control source.
        {ATTR(ANALOG_OUTPUT_MODE), Int32, RW, NoChannel, Stored,
         Instrument("SYST:MOD:AOUT %s\n", "SYST:MOD:AOUT?\n", kLine, &AnalogOutputModeMap),
         Default(QMDC_VAL_ANALOG_OUTPUT_MODE_DISABLED)},
        {ATTR(DEVICE_CAPABILITIES), String, R, NoChannel, Stored,
         Instrument(nullptr, "SYST:CAP?\n", kLine), FixedText("(DCPSUPPLY WITH MEASURE)")},
        {ATTR(CONTROL_SOURCE), Int32, RW, NoChannel, Stored,
         Instrument("SYST:MOD %s\n", "SYST:MOD?\n", kLine, &ControlSourceMap),
         Default(QMDC_VAL_CONTROL_SOURCE_REMOTE)},
        {ATTR(LAST_SELF_TEST_RESULT), String, R, NoChannel, Stored,
         Instrument(nullptr, "TEST:SELF:QUER?\n", kLine), FixedText("Selftest passed")},
        {ATTR(SCPI_VERSION), String, R, NoChannel, Stored,
         Instrument(nullptr, "SYST:VERS?\n", kLine), FixedText("1999.0")},
        {ATTR(ANALOG_VOLTAGE_SCALING_LEVEL), Int32, RW, NoChannel, Stored,
         Instrument("SYST:MOD:ASC VOLT,%s\n", "SYST:MOD:ASC?\n", "%*[^,],%#[^\n]%*t",
                    &AnalogScalingLevelMap),
         Default(QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3)},
        {ATTR(ANALOG_CURRENT_SCALING_LEVEL), Int32, RW, NoChannel, Stored,
         Instrument("SYST:MOD:ASC CURR,%s\n", "SYST:MOD:ASC?\n", "%#[^,],%*t",
                    &AnalogScalingLevelMap),
         Default(QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3)},

        // The error queue.
        {ATTR(ERROR_CONDITION), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "SYST:ERR:COND?\n", kInteger), Fixed(0)},
        {ATTR(ERROR_COUNT), Int32, R, NoChannel, Stored,
         Instrument(nullptr, "SYST:ERR:COUN?\n", kInteger), Fixed(0)},
    };
    // clang-format on
    return rows;
}

#undef ATTR

}  // namespace qmdc
