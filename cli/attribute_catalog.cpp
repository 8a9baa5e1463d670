#include "attribute_catalog.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "failure.h"
#include "number_text.h"
#include "text_case.h"

namespace qmdc::cli {
namespace {

// Names this many edits away are offered as what the user meant.
constexpr size_t kTypingSlips = 2;

std::string WithoutPrefix(const std::string& name) {
    return StartsWithIgnoringCase(name, AttributePrefix())
               ? name.substr(std::strlen(AttributePrefix()))
               : name;
}

// Attributes whose short name contains what was asked for, or is a typing
// slip away from it, to suggest.
std::string Suggestions(const std::string& asked) {
    const std::string part = Upper(WithoutPrefix(asked));
    std::string list;
    for (const AttributeInfo* attribute : AttributesByName()) {
        const std::string name = ShortName(*attribute);
        const bool close =
            name.find(part) != std::string::npos || EditDistance(name, part) <= kTypingSlips;
        if (part.empty() || !close) continue;
        list += (list.empty() ? "" : ", ") + name;
    }
    return list.empty() ? "; 'qmdc attributes' lists them" : "; did you mean " + list + "?";
}

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
    // Optimal string alignment: three rows of the table suffice.
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

const AttributeInfo& FindAttribute(const std::string& name) {
    const auto& attributes = AttributeList();
    const std::string full = AttributePrefix() + WithoutPrefix(name);
    const auto id = ParseInteger(name, 0, UINT32_MAX);
    const auto found =
        std::find_if(attributes.begin(), attributes.end(), [&](const AttributeInfo& attribute) {
            return EqualsIgnoringCase(attribute.name, full) || (id && attribute.id == *id);
        });
    if (found == attributes.end()) {
        throw UsageError("no attribute '" + name + "'" + Suggestions(name));
    }
    return *found;
}

std::string ShortName(const AttributeInfo& attribute) {
    return WithoutPrefix(attribute.name);
}

const char* TypeText(const AttributeInfo& attribute) {
    switch (attribute.type) {
        case ValueType::Int32:
            return "ViInt32";
        case ValueType::Real64:
            return "ViReal64";
        case ValueType::Boolean:
            return "ViBoolean";
        case ValueType::Session:
            return "ViSession";
        case ValueType::String:
            break;
    }
    return "ViString";
}

const char* AccessText(const AttributeInfo& attribute) {
    return attribute.writable ? "R/W" : "R";
}

std::vector<const AttributeInfo*> AttributesByName() {
    std::vector<const AttributeInfo*> attributes;
    for (const AttributeInfo& attribute : AttributeList()) attributes.push_back(&attribute);
    std::sort(attributes.begin(), attributes.end(), [](const auto* a, const auto* b) {
        return std::string(a->name) < std::string(b->name);
    });
    return attributes;
}

}  // namespace qmdc::cli
