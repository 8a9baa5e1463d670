#include "identity.h"

#include <cmath>
#include <cstdlib>

#include "../kiln/attributes/split_list.h"
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

// Built when the library is loaded.
const std::map<std::string, std::string> supportedModelTable = BuildSupportedModelTable();

bool ParseRating(const std::string& text, double& value) {
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

}  // namespace

const std::map<std::string, std::string>& SupportedModelTable() {
    return supportedModelTable;
}

const std::string& SupportedModelsText() {
    static const std::string text = [] {
        std::string joined;
        for (const auto& entry : supportedModelTable) {
            if (!joined.empty()) joined += ',';
            joined += entry.first;
        }
        return joined;
    }();
    return text;
}

const std::regex& ModelPattern() {
    static const std::regex pattern(
        R"(^\s*(Bench|Rack)\s+(\d+(?:\.\d+)?)\s*-\s*(\d+(?:\.\d+)?)\s*QM\s*$)",
        std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

ModelParse ParseModel(const std::string& model, ModelRatings& ratings) {
    std::smatch match;
    if (!std::regex_match(model, match, ModelPattern())) return ModelParse::NoMatch;
    ModelRatings parsed;
    if (!ParseRating(match[2].str(), parsed.maxVoltage) ||
        !ParseRating(match[3].str(), parsed.maxCurrent)) {
        return ModelParse::RatingTooLarge;
    }
    parsed.maxPower = EqualsIgnoringCase(match[1].str(), "bench") ? 600.0 : 1500.0;
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
