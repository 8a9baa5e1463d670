// The driver's fixed identity and the instrument models it knows.
#pragma once

#include <map>
#include <string>

#include "visatype.h"

namespace kiln {

constexpr const char* DRIVER_PREFIX = "QmDC";
constexpr const char* DRIVER_VENDOR = "Orvane";
constexpr const char* DRIVER_DESCRIPTION = "IVI-C Driver for OrvaneDC";
constexpr const char* DRIVER_REVISION = "1.0.0.0";
constexpr const char* GROUP_CAPABILITIES = "IviDCPwrBase,IviDCPwrMeasurement";
constexpr const char* DEFAULT_MODEL = "Rack 30-70 QM";
constexpr ViInt32 CLASS_SPEC_MAJOR_VERSION = 3;
constexpr ViInt32 CLASS_SPEC_MINOR_VERSION = 0;
constexpr const char* SUPPORTED_MODEL_LIST =
    "Bench 30-33 QM, Bench 50-20 QM, Bench 100-10 QM, Bench 200-5 QM, Bench 400-2.5 QM, "
    "Rack 30-70 QM, Rack 50-40 QM, Rack 100-20 QM, Rack 200-10 QM, Rack 400-5 QM";

// Model text -> family name ("DefaultFamily"), in plain string order.
const std::map<std::string, std::string>& SupportedModelTable();

// The keys of SupportedModelTable joined by single commas.
const std::string& SupportedModelsText();

// The model grammar, "<Bench|Rack> <volts>-<amps> QM" in any letter case:
// blanks around the whole text, around the hyphen and before "QM", at least
// one after the form word; ratings are integers or decimals with digits on
// both sides of the point. Matched by hand, in linear time, so that no model
// text can exhaust the stack.
struct ModelTextParts {
    bool bench = false;
    std::string voltage;
    std::string current;
};
bool MatchModelText(const std::string& text, ModelTextParts& parts);

struct ModelRatings {
    double maxVoltage = 0.0;
    double maxCurrent = 0.0;
    double maxPower = 0.0;
};

enum class ModelParse { Ok, NoMatch, RatingTooLarge };

// Ratings of a model text that follows the model grammar as a whole.
ModelParse ParseModel(const std::string& model, ModelRatings& ratings);

}  // namespace kiln

namespace kiln {
class DriverSession;
// The instrument firmware revision as the driver reports it: the identification
// field, or "Sim" and the driver revision while simulating.
std::string InstrumentFirmwareRevisionText(const DriverSession& session);
}  // namespace kiln
