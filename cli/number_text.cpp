#include "number_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qmdc::cli {

std::optional<double> ParseReal(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return {};
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return {};
    return value;
}

std::optional<double> ParseDecimal(const std::string& text) {
    constexpr size_t kLongest = 64;  // far more digits than a double holds
    const size_t n = text.size();
    if (n == 0 || n > kLongest) return {};
    const auto digit = [&](size_t at) {
        return at < n && std::isdigit(static_cast<unsigned char>(text[at]));
    };
    size_t at = text[0] == '+' || text[0] == '-' ? 1 : 0;
    size_t digits = 0;
    bool nonzero = false;
    for (bool point = false;; ++at) {
        if (digit(at)) {
            ++digits;
            nonzero |= text[at] != '0';
        } else if (at < n && text[at] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return {};
    if (at < n && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < n && (text[at] == '+' || text[at] == '-')) ++at;
        if (!digit(at)) return {};
        while (digit(at)) ++at;
    }
    if (at != n) return {};
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value) || (nonzero && !std::isnormal(value))) return {};
    return value;
}

std::optional<int64_t> ParseInteger(const std::string& text, int64_t min, int64_t max) {
    const bool negative = !text.empty() && text.front() == '-';
    const size_t start = negative || (!text.empty() && text.front() == '+') ? 1 : 0;
    const bool hex = text.compare(start, 2, "0x") == 0 || text.compare(start, 2, "0X") == 0;
    const size_t digits = start + (hex ? 2 : 0);
    if (digits >= text.size()) return {};
    uint64_t magnitude = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data() + digits, last, magnitude, hex ? 16 : 10);
    if (error != std::errc() || end != last || magnitude > uint64_t(INT64_MAX)) return {};
    const int64_t value = negative ? -int64_t(magnitude) : int64_t(magnitude);
    if (value < min || value > max) return {};
    return value;
}

std::string RealText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string NumberText(double value, const char* nanText) {
    if (std::isnan(value)) return nanText;
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", value);
    return text;
}

std::string FixedText(double value, int decimals) {
    char text[352];  // DBL_MAX with its 309 digits before the point
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string CsvQuoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace qmdc::cli
