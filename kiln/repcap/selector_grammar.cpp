#include "selector_grammar.h"

#include <cctype>

#include "../session/case_insensitive.h"

namespace kiln {
namespace {

constexpr size_t kNoMatch = std::string::npos;

inline bool IsRangeLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '!';
}

// [a-z_!]+[0-9]+ filling text[begin, end) exactly.
bool IsIndexedName(const std::string& text, size_t begin, size_t end) {
    size_t i = begin;
    while (i < end && IsRangeLetter(text[i])) ++i;
    if (i == begin) return false;
    const size_t digits = i;
    while (i < end && IsDigit(text[i])) ++i;
    return i > digits && i == end;
}

// One item (a name or a range) from i; returns its end or kNoMatch. A name is
// the whole run of name characters, because nothing but a separator may
// follow an item; a range needs both of its names in the indexed form.
size_t ScanItem(const std::string& text, size_t i) {
    const size_t begin = SkipBlanks(text, i);
    const size_t end = SkipWhile(text, begin, IsSelectorNameChar);
    if (end == begin) return kNoMatch;
    size_t k = SkipBlanks(text, end);
    if (k == text.size() || text[k] != '-') return end;
    if (!IsIndexedName(text, begin, end)) return kNoMatch;
    const size_t secondBegin = SkipBlanks(text, k + 1);
    k = SkipWhile(text, secondBegin, IsSelectorNameChar);
    return IsIndexedName(text, secondBegin, k) ? k : kNoMatch;
}

size_t ScanList(const std::string& text, size_t i) {
    i = ScanItem(text, i);
    while (i != kNoMatch) {
        const size_t k = SkipBlanks(text, i);
        if (k == text.size() || text[k] != ',') break;
        i = ScanItem(text, k + 1);
    }
    return i;
}

// "\[?list\s*\]?" from i (the blanks before it already skipped).
size_t ScanLevel(const std::string& text, size_t i) {
    if (i < text.size() && text[i] == '[') ++i;
    i = ScanList(text, i);
    if (i == kNoMatch) return kNoMatch;
    i = SkipBlanks(text, i);
    if (i < text.size() && text[i] == ']') ++i;
    return i;
}

}  // namespace

bool MatchesSelectorGrammar(const std::string& text) {
    size_t i = ScanLevel(text, SkipBlanks(text, 0));
    while (i != kNoMatch) {
        // A closing bracket ends a level; only ":" may follow it, blanks
        // before the ":" included, and nothing may trail the last one.
        if (i == text.size()) return true;
        const size_t k = SkipBlanks(text, i);
        if (k == text.size() || text[k] != ':') return false;
        i = ScanLevel(text, SkipBlanks(text, k + 1));
    }
    return false;
}

bool MatchRangeItem(const std::string& text, RangeParts& parts) {
    const size_t baseBegin = SkipBlanks(text, 0);
    const size_t baseEnd = SkipWhile(text, baseBegin, IsRangeLetter);
    if (baseEnd == baseBegin) return false;
    const size_t firstEnd = SkipWhile(text, baseEnd, IsDigit);
    if (firstEnd == baseEnd) return false;
    size_t i = SkipBlanks(text, firstEnd);
    if (i == text.size() || text[i] != '-') return false;
    i = SkipBlanks(text, i + 1);
    // The second base name repeats the first, ignoring case.
    const size_t baseLength = baseEnd - baseBegin;
    if (text.size() - i < baseLength ||
        !EqualsIgnoringCase(text.substr(i, baseLength), text.substr(baseBegin, baseLength))) {
        return false;
    }
    i += baseLength;
    const size_t lastEnd = SkipWhile(text, i, IsDigit);
    if (lastEnd == i || lastEnd != text.size()) return false;
    parts.base = text.substr(baseBegin, baseLength);
    parts.first = text.substr(baseEnd, firstEnd - baseEnd);
    parts.last = text.substr(i, lastEnd - i);
    return true;
}

bool MatchIndexedName(const std::string& text, std::string& base, std::string& digits) {
    const size_t baseEnd = SkipWhile(text, 0, IsRangeLetter);
    if (baseEnd == 0 || !IsIndexedName(text, 0, text.size())) return false;
    base = text.substr(0, baseEnd);
    digits = text.substr(baseEnd);
    return true;
}

}  // namespace kiln
