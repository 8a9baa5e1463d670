#include "resolve_selector.h"

#include <algorithm>
#include <unordered_map>

#include "QmDC.h"
#include "physical_names.h"
#include "selector_grammar.h"
#include "../attributes/split_list.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

struct Item {
    std::string text;
    bool isRange = false;
    std::vector<std::string> identifiers;
};

struct Level {
    bool bracketed = false;
    std::vector<Item> items;
};

const char* RepeatedCapability() {
    return RegisteredDriver().repeatedCapability;
}

ViStatus Report(DriverSession* session, ViStatus code, const std::string& text = std::string(),
                ErrorArgs args = {}) {
    if (session != nullptr) return session->ReportErrorWithText(code, text, args);
    return ReportErrorWithText(VI_NULL, code, text, args);
}

ViStatus ReportTooManyNames(DriverSession* session) {
    return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR,
                  "The selector names more than %s channels.", {std::to_string(kMaxSelectorNames)});
}

ViStatus ReportRange(DriverSession* session, const std::string& item, const std::string& text,
                     const std::string& extra = std::string()) {
    return Report(session, QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, text,
                  {item, RepeatedCapability(), extra});
}

bool IsBlankText(const char* text) {
    for (; *text != '\0'; ++text) {
        if (!IsBlank(*text)) return false;
    }
    return true;
}

// A range bound: decimal digits that must fit a signed 32-bit number.
bool ParseIndex(const std::string& digits, long long& value) {
    value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) return false;
    }
    return true;
}

ViStatus ExpandRange(DriverSession* session, const std::string& item,
                     std::vector<std::string>& identifiers) {
    RangeParts parts;
    if (!MatchRangeItem(item, parts))
        return ReportRange(session, item, "The base names do not match.");
    long long first = 0, last = 0;
    if (!ParseIndex(parts.first, first)) {
        return ReportRange(session, item, "The index '%s' does not fit in 32 bits.", parts.first);
    }
    if (!ParseIndex(parts.last, last)) {
        return ReportRange(session, item, "The index '%s' does not fit in 32 bits.", parts.last);
    }
    if (first >= last) {
        return ReportRange(session, item, "The start index must be less than the end index.");
    }
    if (last - first >= static_cast<long long>(kMaxSelectorNames)) {
        return ReportRange(session, item, "The range names more than %s identifiers.",
                           std::to_string(kMaxSelectorNames));
    }
    for (long long i = first; i <= last; ++i) identifiers.push_back(parts.base + std::to_string(i));
    return VI_SUCCESS;
}

// Puts the virtual names in: every run of name characters becomes what the
// session maps it to; a mapping to a list of names is bracketed.
ViStatus ExpandVirtualNames(DriverSession& session, const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        if (!IsSelectorNameChar(text[i])) {
            out += text[i++];
            continue;
        }
        const size_t end = SkipWhile(text, i, IsSelectorNameChar);
        const std::string mapped = session.MapVirtualName(text.substr(i, end - i));
        const bool list =
            mapped.find(',') != std::string::npos && mapped.find(':') == std::string::npos;
        out += list ? "[" + mapped + "]" : mapped;
        if (out.size() > text.size() + kMaxVirtualNameGrowth) {
            return session.ReportErrorWithText(
                QMDC_ERROR_BADLY_FORMED_SELECTOR,
                "Its virtual names make the selector more than %s characters longer.",
                {std::to_string(kMaxVirtualNameGrowth)});
        }
        i = end;
    }
    return VI_SUCCESS;
}

// Step 5: the levels and their items; an identifier may appear only once in
// a level.
ViStatus ParseLevels(DriverSession* session, const std::string& text, std::vector<Level>& levels,
                     size_t& identifierCount) {
    for (std::string levelText : SplitList(text, ':', true)) {
        Level level;
        level.bracketed = !levelText.empty() && levelText[0] == '[';
        if (level.bracketed) {
            levelText = levelText.size() >= 2 ? levelText.substr(1, levelText.size() - 2) : "";
        }
        // identifier -> whether the item that brought it is a range
        std::unordered_map<std::string, bool> seen;
        for (const std::string& itemText : SplitList(levelText, ',', true)) {
            Item item;
            item.text = itemText;
            if (itemText.find('-') != std::string::npos) {
                item.isRange = true;
                const ViStatus status = ExpandRange(session, itemText, item.identifiers);
                if (status < 0) return status;
            } else {
                item.identifiers.push_back(itemText);
            }
            identifierCount += item.identifiers.size();
            if (identifierCount > kMaxSelectorNames) {
                return ReportTooManyNames(session);
            }
            for (const std::string& identifier : item.identifiers) {
                auto [it, inserted] = seen.emplace(identifier, item.isRange);
                if (inserted) continue;
                if (item.isRange || it->second) {
                    return ReportRange(session, itemText,
                                       "An identifier in the range overlaps with another range.");
                }
                return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
            }
            level.items.push_back(std::move(item));
        }
        levels.push_back(std::move(level));
    }
    return VI_SUCCESS;
}

// Step 6: a colon binds tighter than a comma, brackets group. The last item of
// a level (every item, when the level is bracketed) is combined with what the
// next level offers: all its items when bracketed, else its first item, which
// is then used up. Worked from the last level back, without recursion.
ViStatus CombineLevels(DriverSession* session, const std::vector<Level>& levels,
                       std::vector<std::string>& names) {
    if (levels.size() > kMaxSelectorLevels) {
        return Report(session, QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, std::string(),
                      {RepeatedCapability()});
    }
    const size_t last = levels.size() - 1;
    std::vector<std::string> offered;  // what level k + 1 offers to level k
    std::vector<std::vector<std::string>> combined(levels.size());
    auto combine = [&](size_t k, size_t index, std::vector<std::string>& out) -> bool {
        const Level& level = levels[k];
        const Item& item = level.items[index];
        const bool alone = k == last || (!level.bracketed && index + 1 != level.items.size());
        for (const std::string& x : item.identifiers) {
            if (alone) {
                out.push_back(x);
            } else {
                for (const std::string& y : offered) out.push_back(x + ":" + y);
            }
            if (out.size() > kMaxSelectorNames) return false;
        }
        return true;
    };
    for (size_t k = last + 1; k-- > 0;) {
        std::vector<std::string> offer;
        const size_t offeredItems = levels[k].bracketed ? levels[k].items.size() : 1;
        for (size_t i = 0; k > 0 && i < offeredItems; ++i) {
            if (!combine(k, i, offer)) {
                return ReportTooManyNames(session);
            }
        }
        // Level k's own names, kept for the pass below.
        std::vector<std::string>& own = combined[k];
        const size_t firstOwn = k == 0 ? 0 : offeredItems;
        for (size_t i = firstOwn; i < levels[k].items.size(); ++i) {
            if (!combine(k, i, own)) {
                return ReportTooManyNames(session);
            }
        }
        offered = std::move(offer);
    }
    for (size_t k = 0; k <= last; ++k) {
        names.insert(names.end(), combined[k].begin(), combined[k].end());
        if (names.size() > kMaxSelectorNames) {
            return ReportTooManyNames(session);
        }
    }
    return VI_SUCCESS;
}

bool IsPhysicalName(DriverSession& session, const ChannelRef& ref) {
    const ChannelList& table = SessionPhysicalNames(session);
    return std::any_of(table.begin(), table.end(), [&](const ChannelRef& physical) {
        return physical.qualifiedName == ref.qualifiedName;
    });
}

}  // namespace

ChannelRef MakeChannelRef(const std::string& name) {
    if (name.empty()) return ChannelRef{};
    return ChannelRef{name, std::string(RepeatedCapability()) + "!!" + name};
}

ViStatus SelectorNames(DriverSession* session, const std::string& selector,
                       std::vector<std::string>& names) {
    std::string expanded = selector;
    if (!MatchesSelectorGrammar(expanded)) return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
    if (session != nullptr) {
        std::string withVirtualNames;
        const ViStatus status = ExpandVirtualNames(*session, expanded, withVirtualNames);
        if (status < 0) return status;
        if (withVirtualNames != expanded) {
            if (!MatchesSelectorGrammar(withVirtualNames)) {
                return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
            }
            expanded = std::move(withVirtualNames);
        }
    }
    std::vector<Level> levels;
    size_t identifierCount = 0;
    const ViStatus status = ParseLevels(session, expanded, levels, identifierCount);
    if (status < 0) return status;
    return CombineLevels(session, levels, names);
}

ViStatus ResolveSelectorFully(DriverSession* session, ViConstString selector, ChannelList& out,
                              bool validate) {
    out.clear();
    const char* text = selector != nullptr ? selector : "";
    if (IsBlankText(text)) {
        const size_t count = session != nullptr ? SessionPhysicalNames(*session).size() : 0;
        if (count == 1) {
            out.push_back(SessionPhysicalNames(*session).front());
            return VI_SUCCESS;
        }
        return Report(session, QMDC_ERROR_CHANNEL_NAME_REQUIRED,
                      "No selector was specified for repeated capability '%s'.  The repeated "
                      "capability identifier can be null or empty only when there is exactly "
                      "one physical name defined.  Repeated capability '%s' has %d physical "
                      "names defined.",
                      {RepeatedCapability(), RepeatedCapability(), static_cast<int>(count)});
    }
    std::vector<std::string> names;
    const ViStatus status = SelectorNames(session, text, names);
    if (status < 0) return status;

    ChannelList resolved;
    for (const std::string& name : names) {
        if (name.find(':') != std::string::npos) {
            return Report(session, QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, std::string(),
                          {RepeatedCapability()});
        }
        ChannelRef ref = MakeChannelRef(name);
        if (validate && (session == nullptr || !IsPhysicalName(*session, ref))) {
            return Report(session, QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER,
                          "The identifier '%s' is not defined for repeated capability '%s'.",
                          {name, RepeatedCapability()});
        }
        resolved.push_back(std::move(ref));
    }
    out = std::move(resolved);
    return VI_SUCCESS;
}

const ChannelRef* FindCommonSelector(DriverSession& session, ViConstString selector) {
    const char* text = selector != nullptr ? selector : "";
    const ChannelList& table = SessionPhysicalNames(session);
    if (IsBlankText(text)) return table.size() == 1 ? &table.front() : nullptr;
    // One run of name characters, with nothing around it but the blanks the
    // level split trims (a vertical tab or form feed stays part of the name).
    auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const char* begin = text;
    while (trimmed(*begin)) ++begin;
    const char* end = begin;
    while (IsSelectorNameChar(*end)) ++end;
    for (const char* rest = end; *rest != '\0'; ++rest) {
        if (!trimmed(*rest)) return nullptr;
    }
    const std::string mapped = session.MapVirtualName(std::string(begin, end));
    if (mapped.empty() || !std::all_of(mapped.begin(), mapped.end(), IsSelectorNameChar)) {
        return nullptr;
    }
    // The table's entries were made from their names, so equal names mean
    // equal qualified names.
    for (const ChannelRef& physical : table) {
        if (physical.name == mapped) return &physical;
    }
    return nullptr;
}

bool ResolveCommonSelector(DriverSession& session, ViConstString selector, ChannelList& out) {
    const ChannelRef* channel = FindCommonSelector(session, selector);
    if (channel == nullptr) return false;
    out.assign(1, *channel);
    return true;
}

ViStatus ResolveSelector(DriverSession* session, ViConstString selector, ChannelList& out,
                         bool validate) {
    if (session != nullptr && validate && ResolveCommonSelector(*session, selector, out)) {
        return VI_SUCCESS;
    }
    return ResolveSelectorFully(session, selector, out, validate);
}

namespace {

ViStatus ReportNotSingle(DriverSession& session) {
    return session.ReportErrorWithText(
        QMDC_ERROR_BADLY_FORMED_SELECTOR,
        "Only a single repeated capability identifier can be specified for the current "
        "operation.");
}

}  // namespace

ViStatus ResolveSingleChannel(DriverSession& session, ViConstString selector, ChannelRef& out) {
    ChannelList list;
    const ViStatus status = ResolveSelector(&session, selector, list, true);
    if (status < 0) return status;
    if (list.size() != 1) return ReportNotSingle(session);
    out = std::move(list.front());
    return status;
}

ViStatus CountSelectedChannels(DriverSession& session, ViConstString selector, size_t& count) {
    count = 1;
    if (FindCommonSelector(session, selector) != nullptr) return VI_SUCCESS;
    ChannelList list;
    const ViStatus status = ResolveSelectorFully(&session, selector, list, true);
    count = list.size();
    return status;
}

ViStatus CheckSingleChannel(DriverSession& session, ViConstString selector) {
    size_t count = 0;
    const ViStatus status = CountSelectedChannels(session, selector, count);
    if (status < 0) return status;
    return count == 1 ? status : ReportNotSingle(session);
}

}  // namespace kiln
