// master_location_win32.cpp - the master store's place on Windows: the
// MasterStore value of HKLM\SOFTWARE\IVI\CONFIGURATIONSERVER, which the IVI
// shared components' installer writes; without it, the file in the IVI data
// folder under ProgramData, where those components put it.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "store_location.h"

namespace qmdc::iviconfig {

namespace {

// The registry's MasterStore text, any length, with %VARIABLES% expanded when
// it is a REG_EXPAND_SZ value; empty when there is none.
std::string registryMasterStore() {
    const char* const key = "SOFTWARE\\IVI\\CONFIGURATIONSERVER";
    // RRF_RT_REG_SZ takes a REG_EXPAND_SZ value too: RegGetValue expands it
    // to REG_SZ first (asking for RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND
    // is refused as an invalid parameter).
    const DWORD types = RRF_RT_REG_SZ;
    std::string path(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(path.size());
        const LSTATUS status = ::RegGetValueA(HKEY_LOCAL_MACHINE, key, "MasterStore", types,
                                              nullptr, path.data(), &size);
        if (status == ERROR_SUCCESS) {
            path.resize(std::strlen(path.c_str()));
            return path;
        }
        // An expanded text may need more than the size first answered.
        if (status != ERROR_MORE_DATA) break;
        path.assign(static_cast<size_t>(size) + MAX_PATH, '\0');
    }
    return std::string();
}

}  // namespace

std::string systemMasterLocation() {
    const std::string registered = registryMasterStore();
    if (!registered.empty()) return registered;
    const char* programData = std::getenv("ProgramData");
    return std::string(programData && *programData ? programData : "C:\\ProgramData") +
           "\\IVI Foundation\\IVI\\IviConfigurationStore.xml";
}

}  // namespace qmdc::iviconfig
