// Ownership of configuration-server handles: each is disposed of on every way
// out of the step that obtained it.
#pragma once

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

}  // namespace kiln
