// What this driver hands to the framework.
#include "../kiln/session/driver_definition.h"

#include "attribute_table.h"
#include "identity.h"

namespace kiln {

const DriverDefinition& RegisteredDriver() {
    static const DriverDefinition definition = {
        DRIVER_PREFIX,
        "QMDC_ATTR_",
        DEFAULT_MODEL,
        &SupportedModelTable,
        qmdc::AttributeTable().data(),
        qmdc::AttributeTable().size(),
        "OutputChannel",
        "CH1",
    };
    return definition;
}

}  // namespace kiln
