// Letter case in names the user types: attribute and value names, file
// extensions.
#pragma once

#include <cctype>
#include <string>

namespace qmdc::cli {

inline std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

inline bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

inline bool StartsWithIgnoringCase(const std::string& text, const std::string& start) {
    return text.size() >= start.size() && EqualsIgnoringCase(text.substr(0, start.size()), start);
}

inline bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

}  // namespace qmdc::cli
