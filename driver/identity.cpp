#include "identity.h"

#include <cmath>
#include <cstdlib>

#include "../kiln/attributes/split_list.h"
#include "../kiln/attributes/text_scan.h"
#include "../kiln/session/case_insensitive.h"

namespace kiln {
namespace {

std::map<std::string, std::string> BuildSupportedModelTable() {
    std::map<std::string, std::string> table;
    for (const auto& model : SplitList(SUPPORTED_MODEL_LIST, ',', true)) {
        table[model] = "DefaultFamily";
    }
    return table;
}

bool WordAt(const std::string& text, size_t at, const std::string& word) {
    return at + word.size() <= text.size() &&
           EqualsIgnoringCase(text.substr(at, word.size()), word);
}

// Digits, optionally a point and more digits; returns the end, or start when
// there is no number.
size_t ScanRating(const std::string& text, size_t start) {
    const size_t i = SkipWhile(text, start, IsDigit);
    if (i == start) return start;
    if (i + 1 < text.size() && text[i] == '.' && IsDigit(text[i + 1])) {
        return SkipWhile(text, i + 1, IsDigit);
    }
    return i;
}

bool ParseRating(const std::string& text, double& value) {
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

}  // namespace

// Built on first use (at the latest when the library is loaded and the
// framework reads the driver's definition), then only read.
const std::map<std::string, std::string>& SupportedModelTable() {
    static const std::map<std::string, std::string> table = BuildSupportedModelTable();
    return table;
}

bool MatchModelText(const std::string& text, ModelTextParts& parts) {
    size_t i = SkipBlanks(text, 0);
    if (WordAt(text, i, "bench")) {
        parts.bench = true;
        i += 5;
    } else if (WordAt(text, i, "rack")) {
        parts.bench = false;
        i += 4;
    } else {
        return false;
    }
    if (i >= text.size() || !IsBlank(text[i])) return false;
    const size_t voltageStart = SkipBlanks(text, i);
    const size_t voltageEnd = ScanRating(text, voltageStart);
    if (voltageEnd == voltageStart) return false;
    i = SkipBlanks(text, voltageEnd);
    if (i >= text.size() || text[i] != '-') return false;
    const size_t currentStart = SkipBlanks(text, i + 1);
    const size_t currentEnd = ScanRating(text, currentStart);
    if (currentEnd == currentStart) return false;
    i = SkipBlanks(text, currentEnd);
    if (!WordAt(text, i, "qm") || SkipBlanks(text, i + 2) != text.size()) return false;
    parts.voltage = text.substr(voltageStart, voltageEnd - voltageStart);
    parts.current = text.substr(currentStart, currentEnd - currentStart);
    return true;
}

const std::string& SupportedModelsText() {
    static const std::string text = [] {
        std::string joined;
        for (const auto& entry : SupportedModelTable()) {
            if (!joined.empty()) joined += ',';
            joined += entry.first;
        }
        return joined;
    }();
    return text;
}

ModelParse ParseModel(const std::string& model, ModelRatings& ratings) {
    ModelTextParts parts;
    if (!MatchModelText(model, parts)) return ModelParse::NoMatch;
    ModelRatings parsed;
    if (!ParseRating(parts.voltage, parsed.maxVoltage) ||
        !ParseRating(parts.current, parsed.maxCurrent)) {
        return ModelParse::RatingTooLarge;
    }
    parsed.maxPower = parts.bench ? 600.0 : 1500.0;
    ratings = parsed;
    return ModelParse::Ok;
}

}  // namespace kiln

#include "../kiln/session/driver_session.h"

namespace kiln {
std::string InstrumentFirmwareRevisionText(const DriverSession& session) {
    if (session.GetSimulate()) return std::string("Sim") + DRIVER_REVISION;
    return session.GetInstrumentFirmwareRevision();
}
}  // namespace kiln
