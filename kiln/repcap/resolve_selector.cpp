#include "resolve_selector.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <unordered_set>

#include "QmDC.h"
#include "physical_names.h"
#include "selector_grammar.h"
#include "../attributes/split_list.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

// An item of a level: a name, or a range kept as its base name and bounds.
// A range is never written out: "CH1-CH2000000000" has two billion
// identifiers, and a resolution looks at no more of them than it needs.
struct Item {
    std::string text;
    bool isRange = false;
    std::string base;
    long long first = 0;
    long long last = 0;

    long long Count() const { return isRange ? last - first + 1 : 1; }
    std::string Identifier(long long i) const {
        return isRange ? base + std::to_string(first + i) : text;
    }
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

ViStatus ParseRange(DriverSession* session, Item& item) {
    RangeParts parts;
    if (!MatchRangeItem(item.text, parts))
        return ReportRange(session, item.text, "The base names do not match.");
    if (!ParseIndex(parts.first, item.first)) {
        return ReportRange(session, item.text, "The index '%s' does not fit in 32 bits.",
                           parts.first);
    }
    if (!ParseIndex(parts.last, item.last)) {
        return ReportRange(session, item.text, "The index '%s' does not fit in 32 bits.",
                           parts.last);
    }
    if (item.first >= item.last) {
        return ReportRange(session, item.text, "The start index must be less than the end index.");
    }
    item.isRange = true;
    item.base = std::move(parts.base);
    return VI_SUCCESS;
}

// The identifiers already in a level, for the check that none comes twice,
// without writing ranges out: the names as they are and, per base name, the
// indexes of the names that a range could also give and the ranges' bounds.
class LevelIdentifiers {
  public:
    enum class Meets { Nothing, Name, Range };

    Meets Check(const Item& item) const {
        if (item.isRange) {
            if (HasRangeWithin(item.base, item.first, item.last) ||
                HasNameWithin(item.base, item.first, item.last)) {
                return Meets::Range;
            }
            return Meets::Nothing;
        }
        if (names_.count(item.text) != 0) return Meets::Name;
        std::string base;
        long long index = 0;
        if (RangeIdentifier(item.text, base, index) && HasRangeWithin(base, index, index)) {
            return Meets::Range;
        }
        return Meets::Nothing;
    }

    void Add(const Item& item) {
        if (item.isRange) {
            ranges_[item.base][item.first] = item.last;
            return;
        }
        names_.insert(item.text);
        std::string base;
        long long index = 0;
        if (RangeIdentifier(item.text, base, index)) nameIndexes_[base].insert(index);
    }

  private:
    // A name a range gives: its base and an index written without leading
    // zeros that fits a range bound.
    static bool RangeIdentifier(const std::string& name, std::string& base, long long& index) {
        std::string digits;
        if (!MatchIndexedName(name, base, digits)) return false;
        if (digits.size() > 1 && digits[0] == '0') return false;
        return ParseIndex(digits, index);
    }

    bool HasRangeWithin(const std::string& base, long long first, long long last) const {
        const auto found = ranges_.find(base);
        if (found == ranges_.end()) return false;
        // The ranges of a base never overlap: only the last one starting at
        // or before `last` can reach `first`.
        auto after = found->second.upper_bound(last);
        if (after == found->second.begin()) return false;
        return std::prev(after)->second >= first;
    }

    bool HasNameWithin(const std::string& base, long long first, long long last) const {
        const auto found = nameIndexes_.find(base);
        if (found == nameIndexes_.end()) return false;
        const auto index = found->second.lower_bound(first);
        return index != found->second.end() && *index <= last;
    }

    std::unordered_set<std::string> names_;
    std::map<std::string, std::set<long long>> nameIndexes_;
    std::map<std::string, std::map<long long, long long>> ranges_;
};

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

// The grammar, then the virtual names (with a session) and the grammar again.
ViStatus ExpandSelector(DriverSession* session, const std::string& selector, std::string& out) {
    out = selector;
    if (!MatchesSelectorGrammar(out)) return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
    if (session == nullptr) return VI_SUCCESS;
    std::string withVirtualNames;
    const ViStatus status = ExpandVirtualNames(*session, out, withVirtualNames);
    if (status < 0) return status;
    if (withVirtualNames == out) return VI_SUCCESS;
    if (!MatchesSelectorGrammar(withVirtualNames)) {
        return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
    }
    out = std::move(withVirtualNames);
    return VI_SUCCESS;
}

// The levels and their items; an identifier may appear only once in a level.
ViStatus ParseLevels(DriverSession* session, const std::string& text, std::vector<Level>& levels) {
    for (std::string levelText : SplitList(text, ':', true)) {
        Level level;
        level.bracketed = !levelText.empty() && levelText[0] == '[';
        if (level.bracketed) {
            levelText = levelText.size() >= 2 ? levelText.substr(1, levelText.size() - 2) : "";
        }
        LevelIdentifiers taken;
        for (const std::string& itemText : SplitList(levelText, ',', true)) {
            Item item;
            item.text = itemText;
            if (itemText.find('-') != std::string::npos) {
                const ViStatus status = ParseRange(session, item);
                if (status < 0) return status;
            }
            const LevelIdentifiers::Meets meets = taken.Check(item);
            if (meets == LevelIdentifiers::Meets::Range ||
                (meets == LevelIdentifiers::Meets::Name && item.isRange)) {
                return ReportRange(session, itemText,
                                   "An identifier in the range overlaps with another range.");
            }
            if (meets == LevelIdentifiers::Meets::Name) {
                return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR);
            }
            taken.Add(item);
            level.items.push_back(std::move(item));
        }
        levels.push_back(std::move(level));
    }
    return VI_SUCCESS;
}

bool IsPhysicalName(DriverSession& session, const ChannelRef& ref) {
    const ChannelList& table = SessionPhysicalNames(session);
    return std::any_of(table.begin(), table.end(), [&](const ChannelRef& physical) {
        return physical.qualifiedName == ref.qualifiedName;
    });
}

ViStatus AppendChannel(DriverSession* session, const std::string& name, bool validate,
                       ChannelList& out) {
    ChannelRef ref = MakeChannelRef(name);
    if (validate && (session == nullptr || !IsPhysicalName(*session, ref))) {
        return Report(session, QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER,
                      "The identifier '%s' is not defined for repeated capability '%s'.",
                      {name, RepeatedCapability()});
    }
    // Only names not checked against the table can be many.
    if (out.size() >= kMaxSelectorNames) {
        return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR,
                      "The selector names more than %s channels.",
                      {std::to_string(kMaxSelectorNames)});
    }
    out.push_back(std::move(ref));
    return VI_SUCCESS;
}

// The names the levels combine into, in order, checked one by one: a name of
// more than one level fails, and so does (with validation) one that is no
// physical name. A colon binds tighter than a comma and brackets group: the
// last item of a level (every item of a bracketed one) is joined with what
// the next level offers (all its items when bracketed, else its first), and
// an offered item gives no names of its own; a level with no items (an empty
// bracket) offers nothing and takes nothing from the next. The names are
// never written out: a joined name has more than one level, so the first one
// fails, and the others are single identifiers.
ViStatus CollectChannels(DriverSession* session, const std::vector<Level>& levels, bool validate,
                         ChannelList& out) {
    const size_t count = levels.size();
    // offers[j]: whether what level j offers the level before gives any name.
    std::vector<bool> offers(count + 1, false);
    for (size_t j = count; j-- > 0;) {
        const Level& level = levels[j];
        offers[j] =
            !level.items.empty() &&
            (j + 1 == count || (!level.bracketed && level.items.size() > 1) || offers[j + 1]);
    }
    for (size_t k = 0; k < count; ++k) {
        const Level& level = levels[k];
        const bool lastLevel = k + 1 == count;
        size_t offered = 0;  // the items the level before took
        if (k > 0 && !levels[k - 1].items.empty()) {
            offered =
                level.bracketed ? level.items.size() : std::min<size_t>(1, level.items.size());
        }
        for (size_t i = offered; i < level.items.size(); ++i) {
            const bool alone = lastLevel || (!level.bracketed && i + 1 != level.items.size());
            if (!alone) {
                if (offers[k + 1]) {
                    return Report(session, QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR,
                                  std::string(), {RepeatedCapability()});
                }
                continue;
            }
            const Item& item = level.items[i];
            for (long long n = 0; n < item.Count(); ++n) {
                const ViStatus status = AppendChannel(session, item.Identifier(n), validate, out);
                if (status < 0) return status;
            }
        }
    }
    return VI_SUCCESS;
}

}  // namespace

ChannelRef MakeChannelRef(const std::string& name) {
    if (name.empty()) return ChannelRef{};
    return ChannelRef{name, std::string(RepeatedCapability()) + "!!" + name};
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
    std::string expanded;
    ViStatus status = ExpandSelector(session, text, expanded);
    if (status < 0) return status;
    std::vector<Level> levels;
    status = ParseLevels(session, expanded, levels);
    if (status < 0) return status;
    ChannelList resolved;
    status = CollectChannels(session, levels, validate, resolved);
    if (status < 0) return status;
    // "[A" (a bracket that loses its only name) names nothing: an operation
    // on it would report success having done nothing.
    if (validate && resolved.empty()) {
        return Report(session, QMDC_ERROR_BADLY_FORMED_SELECTOR, "The selector names no channel.");
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
