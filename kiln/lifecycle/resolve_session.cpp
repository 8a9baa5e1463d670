// Resolving init's resource name through the IVI configuration store: logical
// names, the session's options and DriverSetup, virtual names, the initial
// settings and the software module's physical names, then the caller's option
// string on top.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "IviSession.h"
#include "QmDC.h"
#include "config_handle.h"
#include "../session/case_insensitive.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

constexpr ViStatus kSessionNotFound = static_cast<ViStatus>(0xBFFA1203);
constexpr ViStatus kItemNotFound = static_cast<ViStatus>(0xBFFA1207);
// A virtual range names one channel per index, so a few lines of a store can
// ask for millions of names. A session's virtual names may name this many
// channels in all, far more than a supply with one output needs; more is
// refused before the range is entered. Each name costs two entries in
// case-blind tables, so the limit keeps init within a few milliseconds
// (10000 names took 20 ms).
constexpr long long kMaxVirtualChannelNames = 1000;

// A VISA resource descriptor rather than a logical name: an interface type
// (any letter case) followed by its board number, "::" or, for a serial
// line, a device path.
bool IsResourceDescriptor(const std::string& name) {
    static const char* const kInterfaces[] = {"TCPIP", "ASRL", "GPIB", "USB", "VXI", "PXI"};
    for (const char* interface : kInterfaces) {
        const size_t length = std::strlen(interface);
        if (name.size() <= length || !EqualsIgnoringCase(name.substr(0, length), interface)) {
            continue;
        }
        const char next = name[length];
        if (std::isdigit(static_cast<unsigned char>(next)) || next == ':' || next == '/')
            return true;
    }
    return false;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

// Every failing server call ends the step with the server's status and its
// own description.
#define QMDC_CONFIG_CALL(call)                 \
    do {                                       \
        const ViStatus configStatus_ = (call); \
        if (configStatus_ < 0) {               \
            ReportConfigError(configStatus_);  \
            return configStatus_;              \
        }                                      \
    } while (false)

ViStatus DriverSession::ReportConfigError(ViStatus code) {
    return IviSession_SetError(handle, code, ConfigErrorText().c_str());
}

ViStatus DriverSession::ResolveSession(const std::string& name, const std::string& options) {
    logicalName.clear();
    ioResourceDescriptor.clear();
    virtualNames.clear();
    virtualNameTargets.clear();
    initialSettingsBoolean.clear();
    initialSettingsInt32.clear();
    initialSettingsReal64.clear();
    initialSettingsString.clear();
    inherentOptionsSeen.clear();
    driverSetupOptions.clear();
    currentOptions = InherentOptions();

    ConfigStore store;
    QMDC_CONFIG_CALL(IviConfig_Initialize(store.Out()));
    std::string location;
    bool processDefault = false;
    QMDC_CONFIG_CALL(ReadStoreLocation(store.Get(), location, processDefault));
    const ViStatus loaded = IviConfig_Deserialize(store.Get(), location.c_str());
    if (loaded < 0) {
        // The store named by IVICONFIGSERVERDEFAULT is missing or broken. A
        // logical name is defined there, so it fails with the server's
        // description; a plain resource name needs no store of its own and
        // is opened with the master store (the built-in one when there is
        // no master file), as without the variable.
        const std::string description = ConfigErrorText();
        std::string master;
        const bool recovered = processDefault && IsResourceDescriptor(name) &&
                               ReadConfigText(IviConfig_GetConfigStorePropertyViString, store.Get(),
                                              IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION, master,
                                              kStoreLocationSize) >= 0 &&
                               IviConfig_Deserialize(store.Get(), master.c_str()) >= 0;
        if (!recovered) {
            IviSession_SetError(handle, loaded, description.c_str());
            return loaded;
        }
        IviConfig_ClearError();
    }

    ConfigHandle driverSession, modules, module;
    const ViStatus found =
        IviConfig_GetDriverSession(store.Get(), name.c_str(), driverSession.Out());
    if (found >= 0) {
        logicalName = name;
        ViStatus status = ApplyConfigDriverSession(driverSession.Get());
        if (status < 0) return status;
        status = ApplyConfigInitialSettings(driverSession.Get());
        if (status < 0) return status;
        QMDC_CONFIG_CALL(
            IviConfig_GetSessionSoftwareModuleReference(driverSession.Get(), module.Out()));
    } else if (found == kSessionNotFound) {
        IviConfig_ClearError();
        ioResourceDescriptor = name;
        QMDC_CONFIG_CALL(
            IviConfig_GetConfigStoreSoftwareModuleCollection(store.Get(), modules.Out()));
        QMDC_CONFIG_CALL(IviConfig_GetSoftwareModuleItemByName(
            modules.Get(), RegisteredDriver().prefix, module.Out()));
        const ViStatus status = ApplyConfigInitialSettings(module.Get());
        if (status < 0) return status;
    } else {
        ReportConfigError(found);
        return found;
    }

    ViStatus status = ApplyOptionString(options);
    if (status < 0) return status;
    if (module.Get() != nullptr) {
        status = ApplyConfigPhysicalNames(module.Get());
        if (status < 0) return status;
    }
    if (currentOptions.simulate && instrumentModel.empty())
        instrumentModel = RegisteredDriver().defaultModel;
    initialOptions = currentOptions;
    driverSession.Reset();
    modules.Reset();
    module.Reset();
    const ViStatus closed = store.Close();
    if (closed < 0) ReportConfigError(closed);
    return closed;
}

ViStatus DriverSession::ApplyConfigDriverSession(void* driverSessionHandle) {
    ViStatus status = ApplyConfigVirtualNames(driverSessionHandle);
    if (status < 0) return status;

    ConfigHandle asset;
    QMDC_CONFIG_CALL(IviConfig_GetSessionHardwareAssetReference(driverSessionHandle, asset.Out()));
    if (asset.Get() != nullptr) {
        QMDC_CONFIG_CALL(ReadConfigText(IviConfig_GetHardwareAssetPropertyViString, asset.Get(), 3,
                                        ioResourceDescriptor));
    }

    ViInt32 property = 4;  // cache; the other five follow in order
    for (bool* flag : currentOptions.InOrder()) {
        ViBoolean value = VI_FALSE;
        QMDC_CONFIG_CALL(
            IviConfig_GetDriverSessionPropertyViBoolean(driverSessionHandle, property++, &value));
        *flag = value == VI_TRUE;
    }
    std::string setup;
    QMDC_CONFIG_CALL(
        ReadConfigText(IviConfig_GetDriverSessionPropertyViString, driverSessionHandle, 10, setup));
    return ParseDriverSetup(setup);
}

ViStatus DriverSession::ApplyConfigVirtualNames(void* driverSessionHandle) {
    virtualNames.clear();
    virtualNameTargets.clear();
    ConfigHandle names;
    ViInt32 count = 0;
    QMDC_CONFIG_CALL(IviConfig_GetSessionVirtualNameCollection(driverSessionHandle, names.Out()));
    QMDC_CONFIG_CALL(IviConfig_GetVirtualNameCount(names.Get(), &count));
    long long named = 0;  // channel names entered so far, over all virtual names
    const auto tooMany = [this] {
        return ReportErrorWithText(QMDC_ERROR_CANNOT_RECOVER,
                                   "The virtual names of '%s' name more than %d channels in all.",
                                   {logicalName, static_cast<int>(kMaxVirtualChannelNames)});
    };
    for (ViInt32 i = 1; i <= count; ++i) {
        ConfigHandle item, ranges;
        std::string virtualName, physicalName;
        ViInt32 rangeCount = 0;
        QMDC_CONFIG_CALL(IviConfig_GetVirtualNameItemByIndex(names.Get(), i, item.Out()));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetVirtualNamePropertyViString, item.Get(), 1, virtualName));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetVirtualNamePropertyViString, item.Get(), 2, physicalName));
        QMDC_CONFIG_CALL(IviConfig_GetVirtualNameVirtualRangeCollection(item.Get(), ranges.Out()));
        QMDC_CONFIG_CALL(IviConfig_GetVirtualRangeCount(ranges.Get(), &rangeCount));
        if (rangeCount == 0) {
            if (++named > kMaxVirtualChannelNames) return tooMany();
            virtualNames[virtualName] = physicalName;
            virtualNameTargets[physicalName] = virtualName;
        }
        for (ViInt32 r = 1; r <= rangeCount; ++r) {
            ConfigHandle range;
            ViInt32 first = 0, last = 0, firstPhysical = 0;
            QMDC_CONFIG_CALL(IviConfig_GetVirtualRangeItemByIndex(ranges.Get(), r, range.Out()));
            QMDC_CONFIG_CALL(IviConfig_GetVirtualRangePropertyViInt32(range.Get(), 2, &first));
            QMDC_CONFIG_CALL(IviConfig_GetVirtualRangePropertyViInt32(range.Get(), 3, &last));
            QMDC_CONFIG_CALL(
                IviConfig_GetVirtualRangePropertyViInt32(range.Get(), 4, &firstPhysical));
            const long long size = std::max(0LL, static_cast<long long>(last) - first + 1);
            if (size > kMaxVirtualChannelNames) {
                return ReportErrorWithText(
                    QMDC_ERROR_CANNOT_RECOVER,
                    "The virtual range of '%s' names more than %d channels.",
                    {virtualName, static_cast<int>(kMaxVirtualChannelNames)});
            }
            named += size;
            if (named > kMaxVirtualChannelNames) return tooMany();
            for (long long k = first; k <= last; ++k) {
                const std::string from = virtualName + std::to_string(k);
                const std::string to = physicalName + std::to_string(k - first + firstPhysical);
                virtualNames[from] = to;
                virtualNameTargets[to] = from;
            }
        }
    }
    return VI_SUCCESS;
}

ViStatus DriverSession::ApplyConfigInitialSettings(void* componentHandle) {
    ConfigHandle components, settings, members;
    QMDC_CONFIG_CALL(
        IviConfig_GetConfigComponentDataComponentCollection(componentHandle, components.Out()));
    const ViStatus found = IviConfig_GetDataComponentItemByName(
        components.Get(), "Configurable Initial Settings", settings.Out());
    if (found == kItemNotFound) {
        IviConfig_ClearError();
        return VI_SUCCESS;
    }
    QMDC_CONFIG_CALL(found);
    ViInt32 count = 0;
    QMDC_CONFIG_CALL(IviConfig_GetStructureDataComponentCollection(settings.Get(), members.Out()));
    QMDC_CONFIG_CALL(IviConfig_GetDataComponentCount(members.Get(), &count));
    for (ViInt32 i = 1; i <= count; ++i) {
        ConfigHandle item;
        std::string type, name;
        QMDC_CONFIG_CALL(IviConfig_GetDataComponentItemByIndex(members.Get(), i, item.Out()));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetDataComponentPropertyViString, item.Get(), 7, type));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetDataComponentPropertyViString, item.Get(), 1, name));
        type = Lowered(type);
        if (type == "string") {
            std::string value;
            QMDC_CONFIG_CALL(
                ReadConfigText(IviConfig_GetDataComponentPropertyViString, item.Get(), 9, value));
            initialSettingsString[name] = value;
        } else if (type == "integer") {
            ViInt32 value = 0;
            QMDC_CONFIG_CALL(IviConfig_GetDataComponentPropertyViInt32(item.Get(), 9, &value));
            initialSettingsInt32[name] = value;
        } else if (type == "real") {
            ViReal64 value = 0.0;
            QMDC_CONFIG_CALL(IviConfig_GetDataComponentPropertyViReal64(item.Get(), 9, &value));
            initialSettingsReal64[name] = value;
        } else if (type == "boolean") {
            ViBoolean value = VI_FALSE;
            QMDC_CONFIG_CALL(IviConfig_GetDataComponentPropertyViBoolean(item.Get(), 9, &value));
            initialSettingsBoolean[name] = value == VI_TRUE;
        }
    }
    return ApplyModelSetting();
}

ViStatus DriverSession::ApplyConfigPhysicalNames(void* softwareModuleHandle) {
    ConfigHandle names;
    ViInt32 count = 0;
    QMDC_CONFIG_CALL(
        IviConfig_GetSoftwareModulePhysicalNameCollection(softwareModuleHandle, names.Out()));
    QMDC_CONFIG_CALL(IviConfig_GetPhysicalNameCount(names.Get(), &count));
    for (ViInt32 i = 1; i <= count; ++i) {
        ConfigHandle item;
        std::string physicalName, second;
        QMDC_CONFIG_CALL(IviConfig_GetPhysicalNameItemByIndex(names.Get(), i, item.Out()));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetPhysicalNamePropertyViString, item.Get(), 1, physicalName));
        QMDC_CONFIG_CALL(
            ReadConfigText(IviConfig_GetPhysicalNamePropertyViString, item.Get(), 2, second));
        physicalNames[physicalName] = second;
    }
    return VI_SUCCESS;
}

#undef QMDC_CONFIG_CALL

}  // namespace kiln
