#include "property_table.h"

#include <cstdint>

#include "value_text.h"

namespace qmdc::iviconfig {
namespace {

using K = Kind;
using T = ValueType;

// The dynamic type of a data component's value; resolved by valueTypeOf.
constexpr ValueType kByComponent = ValueType::None;

const PropertyRow kProperties[] = {
    {K::Store, 1, T::String, "Name", ""},
    {K::Store, 2, T::String, "Description", ""},
    {K::Store, 3, T::String, nullptr, ""},
    {K::Store, 4, T::String, nullptr, ""},
    {K::Store, 5, T::String, nullptr, ""},
    {K::Store, 6, T::String, "Revision", ""},
    {K::Store, 7, T::String, "Vendor", ""},
    {K::Store, 8, T::Int32, "SpecificationMajorVersion", ""},
    {K::Store, 9, T::Int32, "SpecificationMinorVersion", ""},
    {K::LogicalName, 1, T::String, "Name", ""},
    {K::LogicalName, 2, T::String, "Description", ""},
    {K::HardwareAsset, 1, T::String, "Name", ""},
    {K::HardwareAsset, 2, T::String, "Description", ""},
    {K::HardwareAsset, 3, T::String, "IOResourceDescriptor", ""},
    {K::Session, 1, T::String, "Name", ""},
    {K::Session, 2, T::String, "Description", ""},
    {K::Session, 3, T::String, "SoftwareModuleName", ""},
    {K::DriverSession, 1, T::String, "Name", ""},
    {K::DriverSession, 2, T::String, "Description", ""},
    {K::DriverSession, 3, T::String, "SoftwareModuleName", ""},
    {K::DriverSession, 4, T::Boolean, "Cache", "true"},
    {K::DriverSession, 5, T::Boolean, "InterchangeCheck", ""},
    {K::DriverSession, 6, T::Boolean, "QueryInstrStatus", ""},
    {K::DriverSession, 7, T::Boolean, "RangeCheck", "true"},
    {K::DriverSession, 8, T::Boolean, "RecordCoercions", ""},
    {K::DriverSession, 9, T::Boolean, "Simulate", ""},
    {K::DriverSession, 10, T::String, "DriverSetup", ""},
    {K::SoftwareModule, 1, T::String, "Name", ""},
    {K::SoftwareModule, 2, T::String, "Description", ""},
    {K::SoftwareModule, 3, T::String, "ModulePath", ""},
    {K::SoftwareModule, 4, T::String, "Prefix", ""},
    {K::SoftwareModule, 5, T::String, "ProgID", ""},
    {K::SoftwareModule, 6, T::String, "SupportedInstrumentModels", ""},
    {K::SoftwareModule, 7, T::String, "ModulePath", ""},
    {K::SoftwareModule, 8, T::String, "ModulePath64", ""},
    {K::SoftwareModule, 9, T::String, "AssemblyQualifiedClassName", ""},
    {K::PublishedAPI, 1, T::String, "Name", ""},
    {K::PublishedAPI, 2, T::String, "Type", ""},
    {K::PublishedAPI, 3, T::Int32, "MajorVersion", ""},
    {K::PublishedAPI, 4, T::Int32, "MinorVersion", ""},
    {K::VirtualName, 1, T::String, "Name", ""},
    {K::VirtualName, 2, T::String, "MapTo", ""},
    {K::VirtualRange, 1, T::String, "Name", ""},
    {K::VirtualRange, 2, T::Int32, "Min", ""},
    {K::VirtualRange, 3, T::Int32, "Max", ""},
    {K::VirtualRange, 4, T::Int32, "StartingPhysicalIndex", ""},
    {K::PhysicalName, 1, T::String, "Name", ""},
    {K::PhysicalName, 2, T::String, "RCName", ""},
    {K::PhysicalRange, 1, T::String, "Name", ""},
    {K::PhysicalRange, 2, T::Int32, "Min", ""},
    {K::PhysicalRange, 3, T::Int32, "Max", ""},
    {K::DataComponent, 1, T::String, "Name", ""},
    {K::DataComponent, 2, T::String, "Description", ""},
    {K::DataComponent, 3, T::Int32, "HelpContextID", ""},
    {K::DataComponent, 4, T::String, "HelpFilePath", ""},
    {K::DataComponent, 5, T::Boolean, "ReadOnly", ""},
    {K::DataComponent, 6, T::String, "SoftwareModuleKey", ""},
    {K::DataComponent, 7, T::String, "Type", ""},
    {K::DataComponent, 8, T::String, "UsedInSession", ""},
    {K::DataComponent, 9, kByComponent, "Value", ""},
    {K::DataComponent, 10, T::String, "Units", ""},
};

bool parses(ValueType type, const std::string& text) {
    std::int32_t i;
    double d;
    bool b;
    switch (type) {
        case T::Int32:
            return parseInt32(text, i);
        case T::Real64:
            return parseReal64(text, d);
        case T::Boolean:
            return parseBoolean(text, b);
        default:
            return true;
    }
}

}  // namespace

const PropertyRow* findProperty(const Object& object, int id) {
    const bool numeric = object.dataType == DataType::Integer || object.dataType == DataType::Real;
    if (object.kind == K::DataComponent && id == 10 && !numeric) return nullptr;
    for (const PropertyRow& row : kProperties)
        if (row.kind == object.kind && row.id == id) return &row;
    return nullptr;
}

ValueType valueTypeOf(const Object& object, const PropertyRow& row) {
    if (row.type != kByComponent) return row.type;
    switch (object.dataType) {
        case DataType::Integer:
            return T::Int32;
        case DataType::Real:
            return T::Real64;
        case DataType::Boolean:
            return T::Boolean;
        case DataType::Structure:
            return T::None;
        default:
            return T::String;
    }
}

const char* valueTypeName(ValueType type) {
    static const char* const names[] = {"ViString", "ViInt32", "ViReal64", "ViBoolean", "none"};
    return names[static_cast<int>(type)];
}

std::string propertyText(const Object& object, const PropertyRow& row) {
    const std::string& text = row.element ? object.field(row.element) : std::string();
    return trimmed(text).empty() && valueTypeOf(object, row) != T::String ? row.defaultText : text;
}

std::string checkTypedField(const Object& object, const std::string& element,
                            const std::string& text) {
    for (const PropertyRow& row : kProperties) {
        if (row.kind != object.kind || !row.element || element != row.element) continue;
        const ValueType type = valueTypeOf(object, row);
        if (type != T::String && !trimmed(text).empty() && !parses(type, text))
            return "<" + element + "> holds '" + text + "', which is not a " + valueTypeName(type) +
                   " value";
    }
    return {};
}

}  // namespace qmdc::iviconfig
