#include "option_patterns.h"

#include <cctype>

#include "../attributes/text_scan.h"

namespace kiln {
namespace {

bool IsSetupName(char c) {
    return IsWordChar(c) || c == '+';
}

bool EqualsIgnoringCaseAt(const std::string& text, size_t at, const char* word) {
    for (size_t k = 0; word[k] != '\0'; ++k) {
        if (at + k >= text.size() ||
            std::tolower(static_cast<unsigned char>(text[at + k])) != word[k]) {
            return false;
        }
    }
    return true;
}

// A match can only begin where a run of name characters begins: a start in
// the middle of a run, or in the blanks before it, meets the same text after
// the run and fails or succeeds alike. Tries each such start from pos on.
template <class Predicate, class Attempt>
std::vector<NameValue> SearchAll(const std::string& text, Predicate isName, Attempt attempt) {
    std::vector<NameValue> pairs;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        bool found = false;
        while (start < text.size()) {
            if (isName(text[start]) && (start == pos || !isName(text[start - 1]))) {
                NameValue pair;
                size_t end = 0;
                if (attempt(start, pair, end)) {
                    pairs.push_back(std::move(pair));
                    pos = end;
                    found = true;
                    break;
                }
                start = SkipWhile(text, start, isName);
            } else {
                ++start;
            }
        }
        if (!found) break;
    }
    return pairs;
}

}  // namespace

bool SplitDriverSetup(const std::string& text, std::string& before, std::string& setup) {
    static const char kKeyword[] = "driversetup";
    for (size_t at = 0; at + sizeof kKeyword - 1 <= text.size(); ++at) {
        if (!EqualsIgnoringCaseAt(text, at, kKeyword)) continue;
        const size_t equals = SkipBlanks(text, at + sizeof kKeyword - 1);
        if (equals >= text.size() || text[equals] != '=') continue;
        size_t start = at;
        while (start > 0 && IsBlank(text[start - 1])) --start;
        const size_t lineEnd = text.find_first_of("\r\n", equals + 1);
        before = text.substr(0, start);
        setup = text.substr(
            equals + 1, lineEnd == std::string::npos ? std::string::npos : lineEnd - equals - 1);
        return true;
    }
    return false;
}

std::vector<NameValue> InherentOptionPairs(const std::string& text) {
    return SearchAll(text, IsWordChar, [&](size_t start, NameValue& pair, size_t& end) {
        const size_t nameEnd = SkipWhile(text, start, IsWordChar);
        size_t i = SkipBlanks(text, nameEnd);
        if (i >= text.size() || text[i] != '=') return false;
        const size_t valueStart = SkipBlanks(text, i + 1);
        const size_t valueEnd = SkipWhile(text, valueStart, IsWordChar);
        if (valueEnd == valueStart) return false;
        i = SkipBlanks(text, valueEnd);
        if (i < text.size() && text[i] == ',') ++i;
        pair = {text.substr(start, nameEnd - start),
                text.substr(valueStart, valueEnd - valueStart)};
        end = i;
        return true;
    });
}

std::vector<NameValue> DriverSetupPairs(const std::string& text) {
    return SearchAll(text, IsSetupName, [&](size_t start, NameValue& pair, size_t& end) {
        const size_t nameEnd = SkipWhile(text, start, IsSetupName);
        const size_t separator = SkipBlanks(text, nameEnd);
        if (separator >= text.size() || (text[separator] != '=' && text[separator] != ':')) {
            return false;
        }
        size_t valueStart = SkipBlanks(text, separator + 1);
        if (valueStart >= text.size() || text[valueStart] == ',') {
            // The value needs one character; a blank given back by the
            // blanks before it is the only one left.
            if (valueStart == separator + 1) return false;
            --valueStart;
        }
        const size_t comma = text.find(',', valueStart);
        end = comma == std::string::npos ? text.size() : comma;
        pair = {text.substr(start, nameEnd - start), text.substr(valueStart, end - valueStart)};
        return true;
    });
}

}  // namespace kiln
