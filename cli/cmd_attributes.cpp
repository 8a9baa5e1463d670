// qmdc attributes, get and set.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "attribute_catalog.h"
#include "attribute_values.h"
#include "failure.h"
#include "standard_output.h"
#include "subcommands.h"

namespace qmdc::cli {
namespace {

constexpr const char* kNameHelp =
    "the attribute: VOLTAGE_LEVEL, QMDC_ATTR_VOLTAGE_LEVEL (any letter case) or its id; "
    "'qmdc attributes' lists them";
constexpr const char* kChannelHelp =
    "the output of a channel attribute: \"CH1\" (default \"\", the one output)";

// What get and set share: where the session goes, the attribute and its channel.
struct AttributeCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    std::string name;
    std::string channel;
    std::string value;  // set only

    AttributeCommand(CLI::App& command, StatusCheck statusCheck)
        : arguments(command, connection, statusCheck) {
        arguments.AddPositional("NAME", name, kNameHelp);
    }
    void AddChannelOption(CLI::App& command) {
        command.add_option("--channel", channel, kChannelHelp);
    }
};

}  // namespace

Runner DefineAttributes(CLI::App& command) {
    command.footer(
        "Each attribute's line gives its id, type, access (R: read-only, R/W: read and write), "
        "unit and whether it is a channel attribute; the lines below say what it is (from "
        "QmDC.h) and list an enumerated or Boolean attribute's named values. Channel "
        "attributes take --channel in get and set.");
    return [] {
        const auto attributes = AttributesByName();
        size_t width = 0;
        for (const auto* attribute : attributes) {
            width = std::max(width, std::string(attribute->name).size());
        }
        const int w = static_cast<int>(width);
        StandardOutput out;
        // Columns padded to their width; a line without a channel ends at its unit.
        const auto line = [w, &out](const char* name, const std::string& id, const char* type,
                                    const char* access, const char* unit, const char* channel) {
            char text[256];
            std::snprintf(text, sizeof text, "%-*s  %-7s  %-9s  %-6s  %-12s  %s", w, name,
                          id.c_str(), type, access, unit, channel);
            std::string row = text;
            row.erase(row.find_last_not_of(' ') + 1);
            out.Line(row);
        };
        line("NAME", "ID", "TYPE", "ACCESS", "UNIT", "CHANNEL");
        for (const auto* attribute : attributes) {
            line(attribute->name, std::to_string(attribute->id), TypeText(*attribute),
                 AccessText(*attribute), attribute->unit, attribute->perChannel ? "yes" : "");
            if (*attribute->description) out.Line(std::string("    ") + attribute->description);
            const std::string values = ValuesText(*attribute);
            if (!values.empty()) out.Line("    values: " + values);
        }
        return int(kSuccess);
    };
}

Runner DefineGet(CLI::App& command) {
    auto get = std::make_shared<AttributeCommand>(command, StatusCheck::AsConfigured);
    get->AddChannelOption(command);
    command.footer(
        "Prints the value: a number, the name of an enumerated value, on/off, or the text.\n"
        "Example: qmdc get TCPIP0::127.0.0.1::5025::SOCKET VOLTAGE_LEVEL");
    return [get] {
        get->arguments.Settle();
        const AttributeInfo& row = FindAttribute(get->name);
        const DriverSession session(get->connection);
        StandardOutput().Line(GetAttributeText(session, row, get->channel));
        return int(kSuccess);
    };
}

Runner DefineSet(CLI::App& command) {
    auto set = std::make_shared<AttributeCommand>(command, StatusCheck::AfterEachOperation);
    set->arguments.AddPositional("VALUE", set->value,
                                 "a number; an enumerated value by its QMDC_VAL_* name, by the end "
                                 "of it after an underscore when only one name ends so (LOCAL; "
                                 "lock is REMOTE_WITH_LOCK), or by its number (only its values' "
                                 "numbers); a Boolean as on/off/true/false/1/0");
    set->AddChannelOption(command);
    command.footer("Example: qmdc set TCPIP0::127.0.0.1::5025::SOCKET CONTROL_SOURCE remote");
    return [set] {
        set->arguments.Settle();
        const AttributeInfo& row = FindAttribute(set->name);
        if (!row.writable) {
            throw UsageError(std::string(row.name) + " is read-only");
        }
        const AttributeValue parsed = ParseAttributeValue(row, set->value);
        const DriverSession session(set->connection);
        SetAttribute(session, row, set->channel, parsed);
        return int(kSuccess);
    };
}

}  // namespace qmdc::cli
