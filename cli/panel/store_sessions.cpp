#include "panel/store_sessions.h"

#include "IviConfigServer.h"
#include "failure.h"
#include "text_case.h"

namespace qmdc::cli {
namespace {

constexpr ViInt32 kTextSize = 1024;
constexpr const char* kDriverModule = "QmDC";

void Check(ViStatus status) {
    if (status >= 0) return;
    ViChar description[kTextSize] = "";
    IviConfig_GetError(kTextSize, description);
    throw Failure(std::string("cannot read the configuration store: ") + description);
}

template <class Getter>
std::string Text(Getter getter, IviConfigHandle handle, ViInt32 property) {
    ViChar text[kTextSize] = "";
    Check(getter(handle, property, kTextSize, text));
    return text;
}

// A handle of the server, disposed of on every way out.
class Handle {
  public:
    Handle() = default;
    ~Handle() {
        if (handle_ != nullptr) IviConfig_DisposeHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    IviConfigHandle* Out() { return &handle_; }
    IviConfigHandle Get() const { return handle_; }

  private:
    IviConfigHandle handle_ = nullptr;
};

class Store {
  public:
    Store() = default;
    ~Store() {
        if (handle_ != nullptr) IviConfig_Close(handle_);
    }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    IviConfigHandle* Out() { return &handle_; }
    IviConfigHandle Get() const { return handle_; }

  private:
    IviConfigHandle handle_ = nullptr;
};

}  // namespace

std::vector<std::string> StoreDriverSessions() {
    Store store;
    Check(IviConfig_Initialize(store.Out()));
    // The process's own store when one is named, else the master store.
    std::string location = Text(IviConfig_GetConfigStorePropertyViString, store.Get(),
                                IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION);
    if (location.empty()) {
        location = Text(IviConfig_GetConfigStorePropertyViString, store.Get(),
                        IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION);
    }
    Check(IviConfig_Deserialize(store.Get(), location.c_str()));
    Handle sessions;
    Check(IviConfig_GetConfigStoreDriverSessionCollection(store.Get(), sessions.Out()));
    ViInt32 count = 0;
    Check(IviConfig_GetDriverSessionCount(sessions.Get(), &count));
    std::vector<std::string> names;
    for (ViInt32 index = 1; index <= count; ++index) {
        Handle session, module;
        Check(IviConfig_GetDriverSessionItemByIndex(sessions.Get(), index, session.Out()));
        Check(IviConfig_GetSessionSoftwareModuleReference(session.Get(), module.Out()));
        if (module.Get() == nullptr) continue;
        const std::string moduleName = Text(IviConfig_GetSoftwareModulePropertyViString,
                                            module.Get(), IVICONFIG_VAL_CONFIG_COMPONENT_NAME);
        if (!EqualsIgnoringCase(moduleName, kDriverModule)) continue;
        names.push_back(Text(IviConfig_GetDriverSessionPropertyViString, session.Get(),
                             IVICONFIG_VAL_CONFIG_COMPONENT_NAME));
    }
    return names;
}

}  // namespace qmdc::cli
