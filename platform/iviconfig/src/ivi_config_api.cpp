// The exported C functions. Each one names the kinds of object it accepts and
// hands over to a generic operation (config_ops.h).
#include "IviConfigServer.h"

#include "config_ops.h"
#include "error_state.h"

using namespace qmdc::iviconfig;
using K = Kind;

ViStatus _VI_FUNC IviConfig_Initialize(IviConfigStoreHandle* handle) {
    return initializeStore(handle);
}
ViStatus _VI_FUNC IviConfig_Close(IviConfigStoreHandle handle) {
    return closeStore(handle);
}
ViStatus _VI_FUNC IviConfig_DisposeHandle(IviConfigHandle handle) {
    return disposeHandle(handle);
}
ViStatus _VI_FUNC IviConfig_GetError(ViInt32 size, ViChar description[]) {
    return getErrorText(size, description);
}
ViStatus _VI_FUNC IviConfig_ClearError(void) {
    clearError();
    return VI_SUCCESS;
}

ViStatus _VI_FUNC IviConfig_Deserialize(IviConfigStoreHandle handle, ViConstString location) {
    return deserializeStore(handle, location);
}
ViStatus _VI_FUNC IviConfig_Serialize(IviConfigStoreHandle, ViConstString) {
    return setError(IVICONFIG_ERROR_NOT_SUPPORTED,
                    "Serialize is not supported: this configuration server only reads stores");
}
ViStatus _VI_FUNC IviConfig_GetConfigStorePropertyViString(IviConfigStoreHandle handle, ViInt32 id,
                                                           ViInt32 size, ViChar value[]) {
    return getString(handle, {K::Store}, id, size, value);
}
ViStatus _VI_FUNC IviConfig_SetConfigStorePropertyViString(IviConfigStoreHandle handle, ViInt32 id,
                                                           ViConstString value) {
    return setStoreString(handle, id, value);
}
ViStatus _VI_FUNC IviConfig_GetConfigStorePropertyViInt32(IviConfigStoreHandle handle, ViInt32 id,
                                                          ViInt32* value) {
    return getValue(handle, {K::Store}, id, value);
}
ViStatus _VI_FUNC IviConfig_GetSession(IviConfigStoreHandle handle, ViConstString name,
                                       IviSessionHandle* session) {
    return findSession(handle, name, false, session);
}
ViStatus _VI_FUNC IviConfig_GetDriverSession(IviConfigStoreHandle handle, ViConstString name,
                                             IviDriverSessionHandle* session) {
    return findSession(handle, name, true, session);
}

// Global collections of the store.
#define STORE_COLLECTION(X, CONTAINER)                                                       \
    ViStatus _VI_FUNC IviConfig_GetConfigStore##X##Collection(IviConfigStoreHandle handle,   \
                                                              IviConfigHandle* collection) { \
        return getCollection(handle, {K::Store}, CONTAINER, K::X, collection);               \
    }
STORE_COLLECTION(LogicalName, "LogicalNames")
STORE_COLLECTION(Session, "Sessions")
STORE_COLLECTION(DriverSession, "DriverSessions")
STORE_COLLECTION(HardwareAsset, "HardwareAssets")
STORE_COLLECTION(SoftwareModule, "SoftwareModules")
STORE_COLLECTION(PublishedAPI, "PublishedAPIs")

// Count and ItemByIndex for every collection; ItemByName for named items.
#define INDEXED(X)                                                                             \
    ViStatus _VI_FUNC IviConfig_Get##X##Count(IviConfigHandle collection, ViInt32* count) {    \
        return getCount(collection, K::X, count);                                              \
    }                                                                                          \
    ViStatus _VI_FUNC IviConfig_Get##X##ItemByIndex(IviConfigHandle collection, ViInt32 index, \
                                                    IviConfigHandle* item) {                   \
        return getItemByIndex(collection, K::X, index, item);                                  \
    }
#define NAMED(X)                                                                                   \
    INDEXED(X)                                                                                     \
    ViStatus _VI_FUNC IviConfig_Get##X##ItemByName(IviConfigHandle collection, ViConstString name, \
                                                   IviConfigHandle* item) {                        \
        return getItemByName(collection, K::X, name, item);                                        \
    }
NAMED(LogicalName)
NAMED(Session)
NAMED(DriverSession)
NAMED(HardwareAsset)
NAMED(SoftwareModule)
NAMED(VirtualName)
NAMED(PhysicalName)
NAMED(DataComponent)
INDEXED(VirtualRange)
INDEXED(PhysicalRange)
INDEXED(PublishedAPI)

// Typed property getters: the function name, the value type, the kinds taken.
#define STRING_GETTER(X, ...)                                                                \
    ViStatus _VI_FUNC IviConfig_Get##X##PropertyViString(IviConfigHandle handle, ViInt32 id, \
                                                         ViInt32 size, ViChar value[]) {     \
        return getString(handle, {__VA_ARGS__}, id, size, value);                            \
    }
#define VALUE_GETTER(X, TYPE, ...)                                                         \
    ViStatus _VI_FUNC IviConfig_Get##X##Property##TYPE(IviConfigHandle handle, ViInt32 id, \
                                                       TYPE* value) {                      \
        return getValue(handle, {__VA_ARGS__}, id, value);                                 \
    }
STRING_GETTER(ConfigComponent, K::SoftwareModule, K::HardwareAsset, K::Session)
STRING_GETTER(LogicalName, K::LogicalName)
STRING_GETTER(Session, K::Session)
STRING_GETTER(DriverSession, K::DriverSession)
STRING_GETTER(HardwareAsset, K::HardwareAsset)
STRING_GETTER(SoftwareModule, K::SoftwareModule)
STRING_GETTER(PublishedAPI, K::PublishedAPI)
STRING_GETTER(VirtualName, K::VirtualName)
STRING_GETTER(VirtualRange, K::VirtualRange)
STRING_GETTER(PhysicalName, K::PhysicalName)
STRING_GETTER(PhysicalRange, K::PhysicalRange)
STRING_GETTER(DataComponent, K::DataComponent)
VALUE_GETTER(DriverSession, ViBoolean, K::DriverSession)
VALUE_GETTER(VirtualRange, ViInt32, K::VirtualRange)
VALUE_GETTER(PhysicalRange, ViInt32, K::PhysicalRange)
VALUE_GETTER(PublishedAPI, ViInt32, K::PublishedAPI)
VALUE_GETTER(DataComponent, ViInt32, K::DataComponent)
VALUE_GETTER(DataComponent, ViReal64, K::DataComponent)
VALUE_GETTER(DataComponent, ViBoolean, K::DataComponent)

// References between objects.
#define REFERENCE(FUNCTION, SLOT, ...)                                                           \
    ViStatus _VI_FUNC IviConfig_Get##FUNCTION(IviConfigHandle handle, IviConfigHandle* target) { \
        return getReference(handle, {__VA_ARGS__}, &Object::SLOT, target);                       \
    }
REFERENCE(LogicalNameSessionReference, session, K::LogicalName)
REFERENCE(SessionHardwareAssetReference, hardwareAsset, K::Session)
REFERENCE(SessionSoftwareModuleReference, softwareModule, K::Session)
REFERENCE(APIReferencePublishedAPIReference, publishedApi, K::DataComponent)

// Collections inside objects.
#define SUB_COLLECTION(FUNCTION, CONTAINER, ITEM, ...)                                   \
    ViStatus _VI_FUNC IviConfig_Get##FUNCTION##Collection(IviConfigHandle handle,        \
                                                          IviConfigHandle* collection) { \
        return getCollection(handle, {__VA_ARGS__}, CONTAINER, K::ITEM, collection);     \
    }
SUB_COLLECTION(SessionVirtualName, "VirtualNames", VirtualName, K::Session)
SUB_COLLECTION(ConfigComponentDataComponent, "DataComponents", DataComponent, K::SoftwareModule,
               K::HardwareAsset, K::Session)
SUB_COLLECTION(StructureDataComponent, "DataComponents", DataComponent, K::DataComponent)
SUB_COLLECTION(SoftwareModulePhysicalName, "PhysicalNames", PhysicalName, K::SoftwareModule)
SUB_COLLECTION(SoftwareModulePublishedAPI, "PublishedAPIs", PublishedAPI, K::SoftwareModule)
SUB_COLLECTION(VirtualNameVirtualRange, "VirtualRanges", VirtualRange, K::VirtualName)
SUB_COLLECTION(PhysicalNamePhysicalRange, "PhysicalRanges", PhysicalRange, K::PhysicalName)
SUB_COLLECTION(PhysicalNameChildPhysicalName, "PhysicalNames", PhysicalName, K::PhysicalName)
