// What a driver hands to the framework: its names, its instrument models, its
// attribute table and its repeated capability. The framework knows nothing
// else of the driver; a second driver built on it supplies its own definition.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace kiln {

struct AttributeRow;

struct DriverDefinition {
    // The driver prefix: the software module looked up in the configuration
    // store, and the start of callback names in null-pointer reports
    // ("QmDC_get_VOLTAGE_LEVEL").
    const char* prefix;
    // What every attribute macro name begins with ("QMDC_ATTR_").
    const char* attributePrefix;
    // The model a simulated session reports when none is configured.
    const char* defaultModel;
    // Supported model text -> family name.
    const std::map<std::string, std::string>& (*supportedModels)();
    // The attribute table, in registration order.
    const AttributeRow* attributes;
    size_t attributeCount;
    // The repeated capability of the outputs and its physical names, as a
    // selector ("CH1").
    const char* repeatedCapability;
    const char* physicalNames;
};

// Supplied by the driver library; the framework calls it when it builds its
// process-wide tables.
const DriverDefinition& RegisteredDriver();

}  // namespace kiln
