#include "core/scpi_values.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qmdc::emu {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

size_t SkipDigits(std::string_view text, size_t pos) {
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    return pos;
}

}  // namespace

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool KeywordMatches(std::string_view text, std::string_view pattern) {
    size_t shortLength = 0;
    while (shortLength < pattern.size() &&
           !std::islower(static_cast<unsigned char>(pattern[shortLength])))
        ++shortLength;
    return EqualsIgnoringCase(text, pattern) ||
           EqualsIgnoringCase(text, pattern.substr(0, shortLength));
}

std::optional<double> ParseDecimal(std::string_view text) {
    text = Trim(text);
    size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const size_t intEnd = SkipDigits(text, pos);
    size_t digits = intEnd - pos;
    pos = intEnd;
    if (pos < text.size() && text[pos] == '.') {
        const size_t fracEnd = SkipDigits(text, pos + 1);
        digits += fracEnd - pos - 1;
        pos = fracEnd;
    }
    if (digits == 0) return std::nullopt;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t exp = pos + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
        const size_t expEnd = SkipDigits(text, exp);
        if (expEnd == exp) return std::nullopt;
        pos = expEnd;
    }
    if (pos != text.size()) return std::nullopt;
    const std::string copy(text);
    const double value = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<Numeric> ParseNumeric(std::string_view text) {
    text = Trim(text);
    struct Word {
        const char* pattern;
        Numeric::Kind kind;
    };
    static constexpr Word kWords[] = {{"MINimum", Numeric::Kind::Min},
                                      {"MAXimum", Numeric::Kind::Max},
                                      {"DEFault", Numeric::Kind::Def}};
    for (const Word& word : kWords) {
        if (KeywordMatches(text, word.pattern)) return Numeric{word.kind, 0.0};
    }
    if (auto value = ParseDecimal(text)) return Numeric{Numeric::Kind::Value, *value};
    return std::nullopt;
}

std::optional<bool> ParseBoolean(std::string_view text) {
    text = Trim(text);
    if (EqualsIgnoringCase(text, "ON")) return true;
    if (EqualsIgnoringCase(text, "OFF")) return false;
    if (auto value = ParseDecimal(text)) return std::lround(*value) != 0;
    return std::nullopt;
}

std::string FormatReal(double value) {
    if (value == 0.0) value = 0.0;  // never answer "-0"
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

}  // namespace qmdc::emu
