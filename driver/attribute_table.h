// The driver's attributes, one row each: the single list that the registry,
// the typed access functions and the tools read.
#pragma once

#include <vector>

#include "../kiln/attributes/attribute_row.h"

namespace qmdc {

const std::vector<kiln::AttributeRow>& AttributeTable();

}  // namespace qmdc
