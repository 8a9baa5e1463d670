// The option string of InitWithOptions and its DriverSetup part.
#include <cctype>
#include <regex>

#include "QmDC.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

// Option strings are short; a longer one is refused before any pattern runs,
// because the pattern engine's work grows with the text.
constexpr size_t kMaxOptionTextLength = 4096;

const std::regex& DriverSetupSplitPattern() {
    static const std::regex pattern(R"(\s*DriverSetup\s*=(.*))",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& InherentOptionPattern() {
    static const std::regex pattern(R"(\s*(\w+)\s*=\s*(\w+)\s*,?)", std::regex::ECMAScript);
    return pattern;
}

const std::regex& DriverSetupPairPattern() {
    static const std::regex pattern(R"(([\w+_]+)\s*(?:=|:)\s*([^,]+))", std::regex::ECMAScript);
    return pattern;
}

struct BooleanWord {
    const char* word;
    bool value;
};
const BooleanWord kBooleanWords[] = {{"true", true},   {"vi_true", true},   {"1", true},
                                     {"false", false}, {"vi_false", false}, {"0", false}};

ViStatus RefuseLongText(DriverSession& session, const std::string& text) {
    return session.ReportErrorWithText(
        QMDC_ERROR_BAD_OPTION_VALUE, "The option string is longer than %d characters.",
        {text.substr(0, 32) + "...", static_cast<int>(kMaxOptionTextLength)});
}

}  // namespace

ViStatus DriverSession::ApplyOptionString(const std::string& options) {
    if (options.size() > kMaxOptionTextLength) return RefuseLongText(*this, options);
    std::smatch match;
    if (!std::regex_search(options, match, DriverSetupSplitPattern())) {
        return ParseInherentOptions(options);
    }
    const ViStatus status = ParseDriverSetup(match[1].str());
    if (status < 0) return status;
    return ParseInherentOptions(match.prefix().str());
}

ViStatus DriverSession::ParseInherentOptions(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    const char* const names[] = {"cache",      "interchangecheck", "queryinstrstatus",
                                 "rangecheck", "recordcoercions",  "simulate"};

    ViStatus status = VI_SUCCESS;
    for (std::sregex_iterator it(lower.begin(), lower.end(), InherentOptionPattern()), end;
         it != end && status >= 0; ++it) {
        const std::string name = (*it)[1].str();
        const std::string value = (*it)[2].str();
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
    if (text.size() > kMaxOptionTextLength) return RefuseLongText(*this, text);
    for (std::sregex_iterator it(text.begin(), text.end(), DriverSetupPairPattern()), end;
         it != end; ++it) {
        const std::string name = (*it)[1].str();
        const std::string value = (*it)[2].str();
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
