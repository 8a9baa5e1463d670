// The driver's attributes as the tool names them, from the generated
// attribute data (attribute_data.h).
#pragma once

#include <string>
#include <vector>

#include "attribute_data.h"

namespace qmdc::cli {

// The attribute named by its macro name, with or without the attribute prefix
// ("VOLTAGE_LEVEL", "qmdc_attr_voltage_level"), or by its id ("1250001").
// Throws UsageError, naming the attributes that come close (a part of the
// name, or a typing slip away from it), when none fits.
const AttributeInfo& FindAttribute(const std::string& name);

// The macro name without the prefix: "VOLTAGE_LEVEL".
std::string ShortName(const AttributeInfo& attribute);

// "ViReal64"; "R" or "R/W".
const char* TypeText(const AttributeInfo& attribute);
const char* AccessText(const AttributeInfo& attribute);

// Every attribute, sorted by name.
std::vector<const AttributeInfo*> AttributesByName();

// How many single-letter edits (insert, delete, change, swap two neighbours)
// turn a into b.
size_t EditDistance(const std::string& a, const std::string& b);

}  // namespace qmdc::cli
