// Helpers for the configuration server tests: stores written into a private
// temporary directory, scoped environment variables and short readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "IviConfigServer.h"

namespace iviconfig_test {

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "iviconfig.XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() {
        previous_ ? setenv(name_.c_str(), previous_->c_str(), 1) : unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

// A store handle closed at the end of the scope.
struct StoreHandle {
    IviConfigHandle handle = nullptr;
    StoreHandle() { EXPECT_EQ(IviConfig_Initialize(&handle), VI_SUCCESS); }
    ~StoreHandle() {
        if (handle) IviConfig_Close(handle);
    }
    StoreHandle(const StoreHandle&) = delete;
    StoreHandle& operator=(const StoreHandle&) = delete;
    operator IviConfigHandle() const { return handle; }
};

inline std::string LastError() {
    char text[1024] = "";
    IviConfig_GetError(sizeof text, text);
    return text;
}

// Reads a text property with any of the ...PropertyViString getters.
template <class Getter>
std::string Text(Getter getter, IviConfigHandle handle, ViInt32 id) {
    char text[1024] = "";
    const ViStatus status = getter(handle, id, sizeof text, text);
    EXPECT_EQ(status, VI_SUCCESS) << LastError();
    return text;
}

// Reads a typed property with any of the typed getters.
template <class T, class Getter>
T Value(Getter getter, IviConfigHandle handle, ViInt32 id) {
    T value{};
    const ViStatus status = getter(handle, id, &value);
    EXPECT_EQ(status, VI_SUCCESS) << LastError();
    return value;
}

template <class Getter>
ViInt32 Count(Getter getter, IviConfigHandle collection) {
    ViInt32 count = -1;
    EXPECT_EQ(getter(collection, &count), VI_SUCCESS) << LastError();
    return count;
}

// Follows a handle-returning call (collection, item or reference).
template <class Getter, class... Args>
IviConfigHandle Get(Getter getter, Args... args) {
    IviConfigHandle out = nullptr;
    const ViStatus status = getter(args..., &out);
    EXPECT_EQ(status, VI_SUCCESS) << LastError();
    return out;
}

}  // namespace iviconfig_test
