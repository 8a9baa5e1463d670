#include "orvane_session.h"

#include <string>

#include "QmDC.h"
#include "identity.h"
#include "visa.h"

namespace {

struct AttributeSetting {
    ViAttr attribute;
    ViAttrState value;
};

// Every line ends in a line feed, in both directions.
const AttributeSetting kTermination[] = {
    {VI_ATTR_TERMCHAR, 10},
    {VI_ATTR_TERMCHAR_EN, VI_TRUE},
};

// The supply's serial port runs at 57600 baud, 8N1, without flow control.
const AttributeSetting kSerialLine[] = {
    {VI_ATTR_ASRL_BAUD, 57600},
    {VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_NONE},
    {VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_NONE},
    {VI_ATTR_ASRL_DATA_BITS, 8},
    {VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE},
    {VI_ATTR_ASRL_END_IN, VI_ASRL_END_TERMCHAR},
    {VI_ATTR_ASRL_END_OUT, VI_ASRL_END_NONE},
};

template <size_t N>
ViStatus Apply(ViSession vi, const AttributeSetting (&settings)[N], ViStatus status) {
    for (const auto& setting : settings) {
        status = viSetAttribute(vi, setting.attribute, setting.value);
        if (status < 0) break;
    }
    return status;
}

// An identification answer without commas (a web server's status line, a
// prompt) leaves the model empty and the whole line in the first field: the
// description quotes it, without its line ending, with control characters
// written as \xNN, and cut to a length a description holds.
std::string QuotedAnswer(std::string answer) {
    constexpr size_t kQuoted = 80;
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    std::string quoted;
    for (size_t i = 0; i < answer.size() && i < kQuoted; ++i) {
        const unsigned char c = static_cast<unsigned char>(answer[i]);
        if (c < 0x20 || c == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            quoted += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return "'" + quoted + (answer.size() > kQuoted ? "...'" : "'");
}

}  // namespace

ViStatus OrvaneDCDriverSession::OpenIo() {
    ViStatus status = DriverSession::OpenIo();
    if (status < 0 || GetSimulate()) return status;
    status = Apply(visaSession, kTermination, status);
    ViUInt16 interfaceType = 0;
    if (status >= 0) status = viGetAttribute(visaSession, VI_ATTR_INTF_TYPE, &interfaceType);
    if (status >= 0 && interfaceType == VI_INTF_ASRL)
        status = Apply(visaSession, kSerialLine, status);
    if (status < 0) {
        // A half-configured connection is of no use; release it here.
        viClose(visaResourceManager);
        visaResourceManager = 0;
        visaSession = 0;
    }
    return status;
}

ViStatus OrvaneDCDriverSession::QueryIdentity(std::string& manufacturer, std::string& model,
                                              std::string& serialNumber,
                                              std::string& firmwareRevision) {
    const ViStatus status =
        DriverSession::QueryIdentity(manufacturer, model, serialNumber, firmwareRevision);
    if (status < 0) return status;
    kiln::ModelRatings ratings;
    switch (kiln::ParseModel(model, ratings)) {
        case kiln::ModelParse::NoMatch:
            if (model.empty() && !GetSimulate()) {
                return ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER,
                                           "Unrecognized model: (none; the instrument answered %s)",
                                           {QuotedAnswer(manufacturer)});
            }
            return ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER, "Unrecognized model: %s",
                                       {model});
        case kiln::ModelParse::RatingTooLarge:
            return ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER,
                                       "The ratings of model '%s' are too large.", {model});
        case kiln::ModelParse::Ok:
            break;
    }
    maxVoltage = ratings.maxVoltage;
    maxCurrent = ratings.maxCurrent;
    maxPower = ratings.maxPower;
    return status;
}

bool OrvaneDCDriverSession::IsModelSupported() const {
    kiln::ModelTextParts parts;
    return kiln::MatchModelText(GetInstrumentModel(), parts);
}
