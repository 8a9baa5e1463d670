#include "number_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace qmdc::cli {

std::optional<double> ParseReal(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return {};
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return {};
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

}  // namespace qmdc::cli
