#include "channel_names.h"

#include <string>

#include "QmDC.h"
#include "physical_names.h"
#include "../attributes/value_checks.h"
#include "../session/call_frame.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"
#include "../session/text_copy.h"

namespace kiln {

ViStatus GetChannelCount(ViSession vi, ViConstString, ViInt32* value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        if (value == nullptr) {
            const std::string getter =
                std::string(RegisteredDriver().prefix) + "_get_CHANNEL_COUNT";
            return CheckNullPointer(vi, getter.c_str(), "AttributeValue", value);
        }
        *value = static_cast<ViInt32>(SessionPhysicalNames(session).size());
        return VI_SUCCESS;
    });
}

ViStatus GetChannelName(DriverSession& session, ViInt32 index, ViInt32 bufferSize, ViChar name[]) {
    const ChannelList& names = SessionPhysicalNames(session);
    const auto refuse = [&session](ViInt32 value, const char* parameter) {
        const std::string function =
            std::string("Get") + RegisteredDriver().repeatedCapability + "Name";
        return ReportInvalidValue(session, value, function.c_str(), parameter);
    };
    if (index < 1 || static_cast<size_t>(index) > names.size()) return refuse(index, "Index");
    const std::string& text = names[static_cast<size_t>(index) - 1].name;
    if (bufferSize < 0) return refuse(bufferSize, "BufferSize");
    if (bufferSize == 0) return static_cast<ViStatus>(text.size() + 1);
    CopyTruncated(text, bufferSize, name);
    return VI_SUCCESS;
}

}  // namespace kiln
