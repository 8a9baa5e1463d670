// The option string of InitWithOptions and its DriverSetup part.
#include <cctype>

#include "QmDC.h"
#include "option_patterns.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

struct BooleanWord {
    const char* word;
    bool value;
};
const BooleanWord kBooleanWords[] = {{"true", true},   {"vi_true", true},   {"1", true},
                                     {"false", false}, {"vi_false", false}, {"0", false}};

}  // namespace

ViStatus DriverSession::ApplyOptionString(const std::string& options) {
    std::string before, setup;
    if (!SplitDriverSetup(options, before, setup)) return ParseInherentOptions(options);
    const ViStatus status = ParseDriverSetup(setup);
    if (status < 0) return status;
    return ParseInherentOptions(before);
}

ViStatus DriverSession::ParseInherentOptions(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    const char* const names[] = {"cache",      "interchangecheck", "queryinstrstatus",
                                 "rangecheck", "recordcoercions",  "simulate"};

    ViStatus status = VI_SUCCESS;
    for (const auto& [name, value] : InherentOptionPairs(lower)) {
        if (status < 0) break;
        size_t known = 0;
        while (known < 6 && name != names[known]) ++known;
        status = known < 6 ? ParseBooleanOptionValue(name, value, *currentOptions.InOrder()[known])
                           : ReportError(QMDC_ERROR_BAD_OPTION_NAME, {name});
        if (inherentOptionsSeen.count(name) != 0) {
            status = ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER,
                                         "Inherent option '%s' appears more than once.", {name});
        }
        inherentOptionsSeen[name] = value;
    }
    return status;
}

ViStatus DriverSession::ParseBooleanOptionValue(const std::string&, const std::string& value,
                                                bool& flag) {
    for (const auto& word : kBooleanWords) {
        if (value == word.word) {
            flag = word.value;
            return VI_SUCCESS;
        }
    }
    return ReportError(QMDC_ERROR_BAD_OPTION_VALUE, {value});
}

ViStatus DriverSession::ParseDriverSetup(const std::string& text) {
    driverSetupOptions.clear();
    driverSetup = text;
    for (const auto& [name, value] : DriverSetupPairs(text)) {
        ApplyDriverSetupOption(name, value);
        if (driverSetupOptions.count(name) != 0) {
            return ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER,
                                       "DriverSetup option '%s' appears more than once.", {name});
        }
        driverSetupOptions[name] = value;
    }
    return VI_SUCCESS;
}

ViStatus DriverSession::ApplyDriverSetupOption(const std::string& name, const std::string& value) {
    if (EqualsIgnoringCase(name, "Model")) instrumentModel = value;
    return VI_SUCCESS;
}

ViStatus DriverSession::ApplyModelSetting() {
    std::string model;
    if (FindInitialSettingString("model", model)) instrumentModel = model;
    return VI_SUCCESS;
}

}  // namespace kiln
