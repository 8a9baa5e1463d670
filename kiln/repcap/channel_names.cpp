#include "channel_names.h"

#include <string>

#include "QmDC.h"
#include "physical_names.h"
#include "../session/call_frame.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"
#include "../session/text_copy.h"

namespace kiln {

ViStatus GetChannelCount(ViSession vi, ViConstString, ViInt32* value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        const std::string getter = std::string(RegisteredDriver().prefix) + "_get_CHANNEL_COUNT";
        const ViStatus status = CheckNullPointer(vi, getter.c_str(), "AttributeValue", value);
        if (status < 0) return status;
        *value = static_cast<ViInt32>(SessionPhysicalNames(session).size());
        return VI_SUCCESS;
    });
}

ViStatus GetChannelName(DriverSession& session, ViInt32 index, ViInt32 bufferSize, ViChar name[]) {
    const ChannelList& names = SessionPhysicalNames(session);
    const std::string function =
        std::string("Get") + RegisteredDriver().repeatedCapability + "Name";
    if (index < 1 || static_cast<size_t>(index) > names.size()) {
        return session.ReportError(QMDC_ERROR_INVALID_VALUE,
                                   {std::to_string(index), function, "Index"});
    }
    const std::string& text = names[static_cast<size_t>(index) - 1].name;
    if (bufferSize < 0) {
        return session.ReportError(QMDC_ERROR_INVALID_VALUE,
                                   {std::to_string(bufferSize), function, "BufferSize"});
    }
    if (bufferSize == 0) return static_cast<ViStatus>(text.size() + 1);
    CopyTruncated(text, bufferSize, name);
    return VI_SUCCESS;
}

}  // namespace kiln
