#include "attribute_catalog.h"

#include <algorithm>

#include "failure.h"
#include "number_text.h"
#include "kiln/attributes/enum_command_map.h"
#include "kiln/session/case_insensitive.h"
#include "kiln/session/driver_definition.h"

namespace qmdc::cli {
namespace {

std::string Prefix() {
    return kiln::RegisteredDriver().attributePrefix;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& start) {
    return text.size() >= start.size() &&
           kiln::EqualsIgnoringCase(text.substr(0, start.size()), start);
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Attributes whose short name contains what was asked for, to suggest.
std::string Suggestions(const std::string& asked) {
    const std::string part =
        Upper(StartsWithIgnoringCase(asked, Prefix()) ? asked.substr(Prefix().size()) : asked);
    std::string list;
    for (const kiln::AttributeRow* row : AttributesByName()) {
        if (part.empty() || ShortName(*row).find(part) == std::string::npos) continue;
        list += (list.empty() ? "" : ", ") + ShortName(*row);
    }
    return list.empty() ? "; 'qmdc attributes' lists them" : "; did you mean " + list + "?";
}

}  // namespace

const kiln::AttributeRow& FindAttribute(const std::string& name) {
    const auto& rows = qmdc::AttributeTable();
    const std::string full = StartsWithIgnoringCase(name, Prefix()) ? name : Prefix() + name;
    const auto id = ParseInteger(name, 0, UINT32_MAX);
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const kiln::AttributeRow& row) {
        return kiln::EqualsIgnoringCase(row.name, full) || (id && row.id == *id);
    });
    if (found == rows.end()) throw UsageError("no attribute '" + name + "'" + Suggestions(name));
    return *found;
}

std::string ShortName(const kiln::AttributeRow& row) {
    const std::string name = row.name;
    return StartsWithIgnoringCase(name, Prefix()) ? name.substr(Prefix().size()) : name;
}

const char* TypeText(const kiln::AttributeRow& row) {
    return kiln::TypeName(row.type);
}

const char* AccessText(const kiln::AttributeRow& row) {
    return row.access == kiln::Access::ReadWrite ? "R/W" : "R";
}

std::vector<NamedValue> ValueNames(const kiln::AttributeRow& row) {
    if (row.behaviour.map == nullptr) return {};
    return kiln::DefinedValues(row.behaviour.map());
}

std::vector<const kiln::AttributeRow*> AttributesByName() {
    std::vector<const kiln::AttributeRow*> rows;
    for (const kiln::AttributeRow& row : qmdc::AttributeTable()) rows.push_back(&row);
    std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) {
        return std::string(a->name) < std::string(b->name);
    });
    return rows;
}

}  // namespace qmdc::cli
