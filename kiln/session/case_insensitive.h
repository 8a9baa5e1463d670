// Text keys compared without regard to letter case (by their upper-case forms).
#pragma once

#include <cctype>
#include <map>
#include <string>

namespace kiln {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            const int ca = std::toupper(static_cast<unsigned char>(a[i]));
            const int cb = std::toupper(static_cast<unsigned char>(b[i]));
            if (ca != cb) return ca < cb;
        }
        return a.size() < b.size();
    }
};

template <class Value>
using CaseInsensitiveMap = std::map<std::string, Value, CaseInsensitiveLess>;

inline bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !CaseInsensitiveLess()(a, b) && !CaseInsensitiveLess()(b, a);
}

}  // namespace kiln
