// The driver's attributes as data: name, id, type, access, channel rule and
// named values from the driver's own table, unit and description from the
// comments of QmDC.h. The data is generated at build time
// (tools/attribute_data_generator.cpp), so the tool needs nothing of the
// driver but libqmdc.so, and there is no second list to keep in step.
#pragma once

#include <string>
#include <vector>

#include "QmDC.h"

namespace qmdc::cli {

enum class ValueType { Int32, Real64, Boolean, Session, String };

struct NamedValue {
    std::string name;  // "QMDC_VAL_CONTROL_SOURCE_REMOTE"
    ViInt32 value;
};

struct AttributeInfo {
    const char* name;  // the macro name, "QMDC_ATTR_VOLTAGE_LEVEL"
    ViAttr id;
    ValueType type;
    bool writable;
    bool perChannel;
    const char* unit;                // "volts"; "" when the value has none
    const char* description;         // one line; "" when the header says nothing more
    std::vector<NamedValue> values;  // of an enumerated or Boolean attribute, each once
};

// In the order of the driver's table.
const std::vector<AttributeInfo>& AttributeList();

// "QMDC_ATTR_".
const char* AttributePrefix();

}  // namespace qmdc::cli
