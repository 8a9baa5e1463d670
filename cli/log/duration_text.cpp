#include "log/duration_text.h"

#include "number_text.h"

namespace qmdc::cli {
namespace {

struct Unit {
    char suffix;
    double seconds;
};
constexpr Unit kUnits[] = {{'s', 1.0}, {'m', 60.0}, {'h', 3600.0}, {'d', 86400.0}};

}  // namespace

std::optional<double> ParseDuration(const std::string& text) {
    double scale = 1.0;
    std::string number = text;
    for (const Unit& unit : kUnits) {
        if (!text.empty() && text.back() == unit.suffix) {
            scale = unit.seconds;
            number.pop_back();
        }
    }
    const std::optional<double> value = ParseReal(number);
    if (!value || *value <= 0.0 || *value * scale > 1e9) return std::nullopt;
    return *value * scale;
}

}  // namespace qmdc::cli
