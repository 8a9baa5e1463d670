// The configuration store as the driver and the qmdc tool read it: ownership
// of the server's handles (each disposed of on every way out of the step that
// obtained it), its text properties, and where the store lies. Header only:
// the tool, a client of libqmdc.so, reads the store the same way without
// reaching into the library.
#pragma once

#include <string>

#include "IviConfigServer.h"

namespace kiln {

class ConfigHandle {
  public:
    ConfigHandle() = default;
    ~ConfigHandle() {
        if (handle_ != nullptr) IviConfig_DisposeHandle(handle_);
    }
    ConfigHandle(const ConfigHandle&) = delete;
    ConfigHandle& operator=(const ConfigHandle&) = delete;

    // For the server's out-parameter; releases what was held before.
    IviConfigHandle* Out() {
        if (handle_ != nullptr) IviConfig_DisposeHandle(handle_);
        handle_ = nullptr;
        return &handle_;
    }
    IviConfigHandle Get() const { return handle_; }
    void Reset() { Out(); }

  private:
    IviConfigHandle handle_ = nullptr;
};

// The store itself: closed on every way out unless closed explicitly.
class ConfigStore {
  public:
    ConfigStore() = default;
    ~ConfigStore() {
        if (handle_ != nullptr) IviConfig_Close(handle_);
    }
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    IviConfigHandle* Out() { return &handle_; }
    IviConfigHandle Get() const { return handle_; }
    ViStatus Close() {
        const ViStatus status = IviConfig_Close(handle_);
        handle_ = nullptr;
        return status;
    }

  private:
    IviConfigHandle handle_ = nullptr;
};

// Text properties are read into buffers of this size (the store's location
// into one of kStoreLocationSize).
constexpr ViInt32 kConfigTextSize = 1024;
constexpr ViInt32 kStoreLocationSize = 260;

// Reads a text property with getter(handle, id, size, buffer).
template <class Getter>
ViStatus ReadConfigText(Getter getter, IviConfigHandle handle, ViInt32 id, std::string& text,
                        ViInt32 size = kConfigTextSize) {
    std::string buffer(static_cast<size_t>(size), '\0');
    const ViStatus status = getter(handle, id, size, &buffer[0]);
    if (status >= 0) text = buffer.c_str();
    return status;
}

// Where the store to load lies: the process's own default store when one is
// named (processDefault), else the master store.
inline ViStatus ReadStoreLocation(IviConfigHandle store, std::string& location,
                                  bool& processDefault) {
    ViStatus status = ReadConfigText(IviConfig_GetConfigStorePropertyViString, store,
                                     IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION, location,
                                     kStoreLocationSize);
    processDefault = status >= 0 && !location.empty();
    if (status >= 0 && !processDefault) {
        status = ReadConfigText(IviConfig_GetConfigStorePropertyViString, store,
                                IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION, location,
                                kStoreLocationSize);
    }
    return status;
}

// The server's description of its last failure.
inline std::string ConfigErrorText() {
    char description[kConfigTextSize] = {};
    IviConfig_GetError(kConfigTextSize, description);
    return description;
}

}  // namespace kiln
