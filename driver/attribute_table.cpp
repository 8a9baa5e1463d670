#include "attribute_table.h"

#include "QmDC.h"
#include "identity.h"
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
constexpr auto Boolean = kiln::ValueType::Boolean;
constexpr auto String = kiln::ValueType::String;
constexpr auto R = kiln::Access::ReadOnly;
constexpr auto RW = kiln::Access::ReadWrite;
constexpr auto NoChannel = kiln::ChannelRule::Ignored;
constexpr auto NotStored = kiln::CacheRule::NotStored;

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

        {ATTR(CHANNEL_COUNT), Int32, R, NoChannel, NotStored,
         kiln::Custom(&kiln::GetChannelCount, nullptr)},
    };
    // clang-format on
    return rows;
}

#undef ATTR

}  // namespace qmdc
