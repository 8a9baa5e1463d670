#include "value_text.h"

#include <cctype>
#include <charconv>

namespace qmdc::iviconfig {
namespace {

// from_chars takes no leading '+', which hand-written files may carry.
std::string_view number(std::string_view text) {
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    return text;
}

template <class T>
bool parseWhole(std::string_view text, T& value) {
    text = number(text);
    T parsed{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}

}  // namespace

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool parseInt32(std::string_view text, std::int32_t& value) {
    return parseWhole(text, value);
}

bool parseReal64(std::string_view text, double& value) {
    return parseWhole(text, value);
}

bool parseBoolean(std::string_view text, bool& value) {
    text = trimmed(text);
    if (equalsNoCase(text, "true") || text == "1") {
        value = true;
    } else if (equalsNoCase(text, "false") || text == "0") {
        value = false;
    } else {
        return false;
    }
    return true;
}

}  // namespace qmdc::iviconfig
