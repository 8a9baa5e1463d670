// The selector and range grammars, matched by hand. They accept exactly what
// these ECMAScript expressions accept as whole-text matches, ignoring case:
//
//   identifier  \s*[\w_!]+
//   range       (?:\s*[a-z_!]+[0-9]+\s*-\s*[a-z_!]+[0-9]+)
//   list        (?:range|identifier)(?:\s*,(?:range|identifier))*
//   selector    ^(?:\s*\[?list\s*\]?)(?:\s*:\s*\[?list\s*\]?)*$
//   range item  ^\s*([a-z_!]+)([0-9]+)\s*-\s*\1([0-9]+)$
//
// in linear time and without recursion, so that no selector can exhaust the
// stack (libstdc++'s regex engine recurses once per character).
#pragma once

#include <string>

#include "../attributes/text_scan.h"

namespace kiln {

// The characters of a name in a selector: letters, digits, '_' and '!'.
inline bool IsSelectorNameChar(char c) {
    return IsWordChar(c) || c == '!';
}

bool MatchesSelectorGrammar(const std::string& text);

// The parts of a range item "CH1-CH3": the base name as first written and the
// digits of both indexes.
struct RangeParts {
    std::string base;
    std::string first;
    std::string last;
};
bool MatchRangeItem(const std::string& text, RangeParts& parts);

// A name of the form a range gives its identifiers: a base of letters, '_'
// and '!', then decimal digits (split into base and digits).
bool MatchIndexedName(const std::string& text, std::string& base, std::string& digits);

}  // namespace kiln
