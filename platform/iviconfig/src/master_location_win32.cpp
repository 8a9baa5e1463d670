// master_location_win32.cpp - the master store's place on Windows: the
// MasterStore value of HKLM\SOFTWARE\IVI\CONFIGURATIONSERVER, which the IVI
// shared components' installer writes; without it, the file in the IVI data
// folder under ProgramData, where those components put it.
#include <windows.h>

#include <cstdlib>

#include "store_location.h"

namespace qmdc::iviconfig {

std::string systemMasterLocation() {
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\IVI\\CONFIGURATIONSERVER", "MasterStore",
                       RRF_RT_REG_SZ, nullptr, path, &size) == ERROR_SUCCESS &&
        path[0] != '\0')
        return path;
    const char* programData = std::getenv("ProgramData");
    return std::string(programData && *programData ? programData : "C:\\ProgramData") +
           "\\IVI Foundation\\IVI\\IviConfigurationStore.xml";
}

}  // namespace qmdc::iviconfig
