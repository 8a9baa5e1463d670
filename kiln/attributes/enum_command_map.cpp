#include "enum_command_map.h"

#include <algorithm>
#include <stdexcept>

#include "QmDC.h"
#include "split_list.h"
#include "../session/case_insensitive.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

template <class T>
bool Contains(const std::vector<T>& list, const T& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// How an entry stands to one model: written for it, for its family, for
// every model, or for others.
enum class Fit { Exact, Family, Anyone, Other };

template <class InFamily>
Fit FitOf(const EnumCommandInfo& entry, const std::string& model, InFamily inFamily) {
    if (entry.Models.empty()) return Fit::Anyone;
    if (Contains(entry.Models, model)) return Fit::Exact;
    for (const auto& family : entry.Models) {
        if (inFamily(model, family)) return Fit::Family;
    }
    return Fit::Other;
}

bool ShareAToken(const EnumCommandInfo& a, const EnumCommandInfo& b) {
    for (const auto& token : a.Commands) {
        for (const auto& other : b.Commands) {
            if (TokenMatches(token, other)) return true;
        }
    }
    return false;
}

void CheckNoSharedToken(const std::vector<const EnumCommandInfo*>& entries, const char* what) {
    for (size_t i = 0; i < entries.size(); ++i) {
        for (size_t j = i + 1; j < entries.size(); ++j) {
            if (ShareAToken(*entries[i], *entries[j])) {
                throw std::logic_error(std::string("Invalid enum command map: ") + what + " '" +
                                       entries[i]->Name + "' and '" + entries[j]->Name +
                                       "' accept the same response.");
            }
        }
    }
}

void CheckInvariants(const std::vector<EnumCommandInfo>& entries, const ModelFamilies& families) {
    std::vector<const EnumCommandInfo*> unrestricted;
    for (const auto& entry : entries) {
        if (entry.Models.empty()) unrestricted.push_back(&entry);
    }
    CheckNoSharedToken(unrestricted, "the entries for every model");
    auto inFamily = [&](const std::string& model, const std::string& family) {
        auto it = families.find(model);
        return it != families.end() && it->second == family;
    };
    for (const auto& [model, family] : families) {
        std::vector<const EnumCommandInfo*> familyEntries;
        for (const auto& entry : entries) {
            if (FitOf(entry, model, inFamily) == Fit::Family) familyEntries.push_back(&entry);
        }
        CheckNoSharedToken(familyEntries, ("the family entries for '" + model + "',").c_str());
    }
}

}  // namespace

EnumCommandInfo::EnumCommandInfo(std::string name, ViInt32 value, const std::string& commands,
                                 const std::string& models)
    : Name(std::move(name)),
      Value(value),
      Commands(SplitList(commands, ',', true)),
      Models(SplitList(models, ',', true)) {}

EnumCommandMap::EnumCommandMap(std::vector<EnumCommandInfo> entries)
    : EnumCommandMap(std::move(entries), RegisteredDriver().supportedModels()) {}

EnumCommandMap::EnumCommandMap(std::vector<EnumCommandInfo> entries, const ModelFamilies& families)
    : entries_(std::move(entries)) {
    CheckInvariants(entries_, families);
}

bool TokenMatches(const std::string& token, const std::string& response) {
    return EqualsIgnoringCase(TrimBlanks(token), TrimBlanks(response));
}

ViStatus ResponseToValue(DriverSession& session, const EnumCommandMap& map,
                         const std::string& response, ViInt32& value) {
    value = -1;
    const std::string& model = session.GetInstrumentModel();
    auto inFamily = [&](const std::string& m, const std::string& family) {
        return session.IsModelInFamily(m, family);
    };
    // The tokens were trimmed when the map was built; the answer is trimmed once.
    const std::string answer = TrimBlanks(response);
    const EnumCommandInfo* best = nullptr;
    std::vector<ViInt32> supported;  // values this model's own entries define
    for (const auto& entry : map.Entries()) {
        const Fit fit = FitOf(entry, model, inFamily);
        if (fit == Fit::Exact || fit == Fit::Family) supported.push_back(entry.Value);
        const bool accepted =
            std::any_of(entry.Commands.begin(), entry.Commands.end(),
                        [&](const std::string& t) { return EqualsIgnoringCase(t, answer); });
        if (!accepted) continue;
        if (fit == Fit::Exact) {
            value = entry.Value;
            return VI_SUCCESS;
        }
        // A family entry beats the entries for every model; among those the
        // first wins. (The map was checked for rival entries when built.)
        if (fit == Fit::Family || (fit == Fit::Anyone && best == nullptr)) best = &entry;
    }
    // An entry for every model does not hold for a value that this model's
    // own entries define with their own tokens.
    if (best != nullptr && !(best->Models.empty() && Contains(supported, best->Value))) {
        value = best->Value;
        return VI_SUCCESS;
    }
    return session.ReportErrorWithText(QMDC_ERROR_UNEXPECTED_RESPONSE,
                                       "Could not convert instrument response (%s) to a defined "
                                       "value.",
                                       {response});
}

ViStatus ValueToCommand(DriverSession& session, const EnumCommandMap& map, ViInt32 value,
                        std::string& command) {
    command.clear();
    const std::string& model = session.GetInstrumentModel();
    const EnumCommandInfo* found = nullptr;
    for (const Fit wanted : {Fit::Exact, Fit::Family, Fit::Anyone}) {
        for (const auto& entry : map.Entries()) {
            if (entry.Value != value) continue;
            const Fit fit = FitOf(entry, model, [&](const std::string& m, const std::string& f) {
                return session.IsModelInFamily(m, f);
            });
            if (fit == wanted) {
                found = &entry;
                break;
            }
        }
        if (found != nullptr) break;
    }
    if (found == nullptr || found->Commands.empty()) {
        return session.ReportErrorWithText(
            QMDC_ERROR_CANNOT_RECOVER,
            "Could not convert defined value '%d' to an instrument command.", {value});
    }
    command = found->Commands.front();
    return VI_SUCCESS;
}

std::string ValueToName(const EnumCommandMap& map, ViInt32 value) {
    for (const auto& entry : map.Entries()) {
        if (entry.Value == value) return entry.Name;
    }
    return std::to_string(value);
}

std::vector<DefinedValue> DefinedValues(const EnumCommandMap& map) {
    std::vector<DefinedValue> values;
    for (const auto& entry : map.Entries()) {
        const bool seen = std::any_of(values.begin(), values.end(),
                                      [&](const DefinedValue& v) { return v.name == entry.Name; });
        if (!seen) values.push_back({entry.Name, entry.Value});
    }
    return values;
}

}  // namespace kiln
