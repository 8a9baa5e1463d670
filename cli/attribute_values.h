// Attribute values as text: read from the command line by the type the row
// gives, passed to the typed QmDC_Get/SetAttribute function of that type, and
// shown. One entry per value type says how.
#pragma once

#include <string>
#include <variant>

#include "driver_session.h"
#include "attribute_data.h"

namespace qmdc::cli {

using AttributeValue = std::variant<ViInt32, ViReal64, ViBoolean, ViSession, std::string>;

// The value the text stands for; throws UsageError (naming what the attribute
// takes) before anything is sent.
AttributeValue ParseAttributeValue(const AttributeInfo& row, const std::string& text);

void SetAttribute(const DriverSession& session, const AttributeInfo& row,
                  const std::string& channel, const AttributeValue& value);

// The value as the tool shows it: a number, an enumerated value's name,
// "on"/"off", or the text.
std::string GetAttributeText(const DriverSession& session, const AttributeInfo& row,
                             const std::string& channel);

// The named values with their numbers: "QMDC_VAL_CURRENT_REGULATE (0), ...".
std::string ValuesText(const AttributeInfo& attribute);

// What a value must look like: "a real number", "one of QMDC_VAL_..., or a
// number".
std::string ValueHint(const AttributeInfo& row);

}  // namespace qmdc::cli
