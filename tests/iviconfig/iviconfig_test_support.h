// Helpers for the configuration server tests: stores written into a private
// temporary directory, scoped environment variables and short readers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "IviConfigServer.h"
#include "scoped_env.h"
#include "temp_folder.h"

namespace iviconfig_test {

// A folder of the test's own, and environment variables set for one scope.
using TempDir = qmdc_test::TempFolder;
using qmdc_test::ScopedEnv;

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
