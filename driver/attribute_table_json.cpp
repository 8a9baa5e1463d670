// Prints the driver's attribute table and the defined values of its maps as
// JSON: the one export of the table, read by the Python binding's generator
// (python/tools/generate.py) and by the qmdc tool's
// (cli/tools/attribute_data_generator.cpp), so that the binding's properties
// and enums and the tool's attribute data come from the rows the driver
// itself registers, never from a second list.
// attribute_table_json [OUTPUT]: to OUTPUT, else to stdout.
#include <cstdio>
#include <string>

#include "driver/attribute_table.h"
#include "driver/enum_maps.h"
#include "kiln/session/driver_definition.h"

namespace {

// Each map of defined values and the name its Python enum takes. The Boolean
// map becomes Python's bool; the last three name the values of function
// parameters rather than of attributes.
struct NamedMap {
    const char* name;
    kiln::EnumMapSource map;
};
const NamedMap kMaps[] = {
    {"Boolean", &qmdc::BooleanMap},
    {"AnalogOutputMode", &qmdc::AnalogOutputModeMap},
    {"AnalogScalingLevel", &qmdc::AnalogScalingLevelMap},
    {"ControlSource", &qmdc::ControlSourceMap},
    {"RemoteSenseStatus", &qmdc::RemoteSenseStatusMap},
    {"CurrentLimitBehavior", &qmdc::CurrentLimitBehaviorMap},
    {"MeasurementType", &qmdc::MeasurementTypeMap},
    {"OutputState", &qmdc::OutputStateMap},
};

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The enum name of a row's map, "null" for a row without one, or nothing
// when the map is not in kMaps (a new map needs its Python name there).
bool MapName(const kiln::AttributeRow& row, std::string& name) {
    name = "null";
    if (row.behaviour.map == nullptr) return true;
    for (const NamedMap& named : kMaps) {
        if (named.map == row.behaviour.map) {
            name = Quoted(named.name);
            return true;
        }
    }
    return false;
}

bool PrintAttributes() {
    std::printf("  \"attributes\": [\n");
    const auto& rows = qmdc::AttributeTable();
    for (size_t i = 0; i < rows.size(); ++i) {
        const kiln::AttributeRow& row = rows[i];
        std::string values;
        if (!MapName(row, values)) {
            std::fprintf(stderr, "attribute_table_json: the map of %s has no name in kMaps\n",
                         row.name);
            return false;
        }
        std::printf(
            "    {\"id\": %lu, \"name\": %s, \"type\": %s, \"writable\": %s, \"per_channel\": %s, "
            "\"values\": %s}%s\n",
            static_cast<unsigned long>(row.id), Quoted(row.name).c_str(),
            Quoted(kiln::TypeName(row.type)).c_str(),
            row.access == kiln::Access::ReadWrite ? "true" : "false",
            row.channel == kiln::ChannelRule::PerChannel ? "true" : "false", values.c_str(),
            i + 1 < rows.size() ? "," : "");
    }
    std::printf("  ],\n");
    return true;
}

void PrintValues() {
    std::printf("  \"values\": {\n");
    const size_t count = sizeof kMaps / sizeof kMaps[0];
    for (size_t m = 0; m < count; ++m) {
        std::printf("    %s: [", Quoted(kMaps[m].name).c_str());
        const char* separator = "";
        for (const kiln::DefinedValue& defined : kiln::DefinedValues(kMaps[m].map())) {
            std::printf("%s{\"name\": %s, \"value\": %ld}", separator, Quoted(defined.name).c_str(),
                        static_cast<long>(defined.value));
            separator = ", ";
        }
        std::printf("]%s\n", m + 1 < count ? "," : "");
    }
    std::printf("  }\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && std::freopen(argv[1], "w", stdout) == nullptr)) {
        std::fprintf(stderr, "usage: attribute_table_json [OUTPUT]\n");
        return 2;
    }
    std::printf("{\n");
    std::printf("  \"prefix\": %s,\n", Quoted(kiln::RegisteredDriver().attributePrefix).c_str());
    if (!PrintAttributes()) return 1;
    PrintValues();
    std::printf("}\n");
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
