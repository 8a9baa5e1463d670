#include "error_report.h"

#include "IviSession.h"
#include "error_messages.h"

namespace kiln {

std::string FormatDescription(const std::string& format, ErrorArgs args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size() && out.size() < kMaxDescriptionLength; ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const char conversion = format[i + 1];
        if (conversion == 's' || conversion == 'd') {
            if (next != args.end()) out += (next++)->Text();
            ++i;
        } else if (conversion == '%') {
            out += '%';
            ++i;
        } else {
            out += c;
        }
    }
    if (out.size() > kMaxDescriptionLength) out.resize(kMaxDescriptionLength);
    return out;
}

ViStatus ReportErrorWithText(ViSession vi, ViStatus code, const std::string& additionalText,
                             ErrorArgs args) {
    std::string format = MessageText(code);
    if (!additionalText.empty()) format += "  " + additionalText;
    const ViStatus stored = IviSession_SetError(vi, code, FormatDescription(format, args).c_str());
    return stored < 0 ? stored : code;
}

ViStatus ReportError(ViSession vi, ViStatus code, ErrorArgs args) {
    return ReportErrorWithText(vi, code, std::string(), args);
}

}  // namespace kiln
