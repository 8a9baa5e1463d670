// The driver's attributes as the tool names them. Everything comes from the
// driver's own attribute table (qmdc::AttributeTable()) and the value maps
// its rows name, so the tool has no list of its own to keep in step.
#pragma once

#include <string>
#include <vector>

#include "driver/attribute_table.h"
#include "kiln/attributes/attribute_row.h"
#include "kiln/attributes/enum_command_map.h"

namespace qmdc::cli {

using NamedValue = kiln::DefinedValue;

// The row named by its macro name, with or without the attribute prefix
// ("VOLTAGE_LEVEL", "qmdc_attr_voltage_level"), or by its id ("1250001").
// Throws UsageError, naming the attributes that come close, when none fits.
const kiln::AttributeRow& FindAttribute(const std::string& name);

// The macro name without the prefix: "VOLTAGE_LEVEL".
std::string ShortName(const kiln::AttributeRow& row);

// "ViReal64", "R" or "R/W".
const char* TypeText(const kiln::AttributeRow& row);
const char* AccessText(const kiln::AttributeRow& row);

// The named values of an enumerated or Boolean attribute, each once, in the
// order of its map; empty for other attributes.
std::vector<NamedValue> ValueNames(const kiln::AttributeRow& row);

// Every row, sorted by name.
std::vector<const kiln::AttributeRow*> AttributesByName();

}  // namespace qmdc::cli
