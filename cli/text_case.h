// Letter case in names the user types: attribute and value names, file
// extensions.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

namespace qmdc::cli {

inline std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The count letters of a and b from their starts; no copies (the panel
// compares every header of every request).
inline bool SameLettersIgnoringCase(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

inline bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && SameLettersIgnoringCase(a.data(), b.data(), a.size());
}

inline bool StartsWithIgnoringCase(const std::string& text, const std::string& start) {
    return text.size() >= start.size() &&
           SameLettersIgnoringCase(text.data(), start.data(), start.size());
}

inline bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           SameLettersIgnoringCase(text.data() + text.size() - end.size(), end.data(), end.size());
}

}  // namespace qmdc::cli
