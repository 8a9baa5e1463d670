#include "store_sessions.h"

#include "failure.h"
#include "lifecycle/config_handle.h"
#include "text_case.h"

namespace qmdc::cli {
namespace {

constexpr const char* kDriverModule = "QmDC";
constexpr ViInt32 kComponentName = IVICONFIG_VAL_CONFIG_COMPONENT_NAME;

void Check(ViStatus status) {
    if (status < 0) {
        throw Failure("cannot read the configuration store: " + kiln::ConfigErrorText());
    }
}

template <class Getter>
std::string Text(Getter getter, IviConfigHandle handle, ViInt32 property) {
    std::string text;
    Check(kiln::ReadConfigText(getter, handle, property, text));
    return text;
}

}  // namespace

std::vector<std::string> StoreDriverSessions() {
    kiln::ConfigStore store;
    Check(IviConfig_Initialize(store.Out()));
    std::string location;
    bool processDefault = false;
    Check(kiln::ReadStoreLocation(store.Get(), location, processDefault));
    Check(IviConfig_Deserialize(store.Get(), location.c_str()));
    kiln::ConfigHandle sessions;
    Check(IviConfig_GetConfigStoreDriverSessionCollection(store.Get(), sessions.Out()));
    ViInt32 count = 0;
    Check(IviConfig_GetDriverSessionCount(sessions.Get(), &count));
    std::vector<std::string> names;
    for (ViInt32 index = 1; index <= count; ++index) {
        kiln::ConfigHandle session, module;
        Check(IviConfig_GetDriverSessionItemByIndex(sessions.Get(), index, session.Out()));
        Check(IviConfig_GetSessionSoftwareModuleReference(session.Get(), module.Out()));
        if (module.Get() == nullptr) continue;
        const std::string moduleName =
            Text(IviConfig_GetSoftwareModulePropertyViString, module.Get(), kComponentName);
        if (!EqualsIgnoringCase(moduleName, kDriverModule)) continue;
        names.push_back(
            Text(IviConfig_GetDriverSessionPropertyViString, session.Get(), kComponentName));
    }
    return names;
}

}  // namespace qmdc::cli
