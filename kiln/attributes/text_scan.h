// Character classes and small scanning steps shared by the hand-written
// matchers (option string, model grammar). The classes are those of the C
// locale, as the ECMAScript \s, \w and \d are for plain characters.
#pragma once

#include <string>

namespace kiln {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsWordChar(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

template <class Predicate>
size_t SkipWhile(const std::string& text, size_t i, Predicate inClass) {
    while (i < text.size() && inClass(text[i])) ++i;
    return i;
}

inline size_t SkipBlanks(const std::string& text, size_t i) {
    return SkipWhile(text, i, IsBlank);
}

}  // namespace kiln
