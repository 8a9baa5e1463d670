#include "split_list.h"

namespace kiln {

std::string TrimBlanks(const std::string& text) {
    static const char* const blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::vector<std::string> SplitList(const std::string& text, char delimiter, bool trim) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string::npos) end = text.size();
        const std::string piece = text.substr(start, end - start);
        pieces.push_back(trim ? TrimBlanks(piece) : piece);
        start = end + 1;
    }
    return pieces;
}

}  // namespace kiln
