/*
 * IviConfigServer.h - read access to the IVI configuration store.
 *
 * The functions, property ids and status codes carry the names and argument
 * orders of the IVI configuration server's C interface, so the vendor's
 * server can be linked in place of this library (libqmdciviconfig). This
 * stand-in reads stores; it does not create, edit or write them
 * (IviConfig_Serialize gives IVICONFIG_ERROR_NOT_SUPPORTED).
 *
 * Store file
 *   - The XML vocabulary of the IVI configuration store: root IviConfigStore;
 *     global collections SoftwareModules, HardwareAssets, DriverSessions,
 *     Sessions, LogicalNames and PublishedAPIs; objects tied together by
 *     id/idref. A reference (IviHardwareAsset, IviSoftwareModuleRef,
 *     IviDriverSession/IviSession, IviPublishedAPI with an idref) may sit in
 *     its owner directly or inside one wrapper element.
 *   - Element order does not matter. Elements this server does not use are
 *     ignored, but a collection element (VirtualNames, ...) may hold only its
 *     own item elements.
 *   - Booleans read true/false/1/0 in any letter case, surrounding blanks
 *     ignored; integers (32-bit) and reals are decimal. A typed element that
 *     is absent or empty reads as 0 / VI_FALSE, except the driver session's
 *     Cache and RangeCheck, which default to VI_TRUE. A typed element that
 *     does not parse fails the load. Texts are returned as written.
 *   - A data component's element name (IviString, IviInteger, IviReal,
 *     IviBoolean, IviStructure, IviAPIReference) gives its type; a <Type>
 *     child, when present, must agree (letter case aside). Any other element
 *     inside DataComponents is a component of a type unknown to this server:
 *     its type text is its <Type> (else the element name without "Ivi"),
 *     and its value reads as a ViString.
 *   - Names are compared exactly (letter case matters) and must be unique
 *     within a collection that has ItemByName; ids must be unique in the file.
 *
 * Loading (IviConfig_Deserialize)
 *   - IVICONFIG_ERROR_DESERIALIZE_FAILED for an empty location; a file that
 *     is missing, unreadable or a directory (the description names the file
 *     and the system's reason); malformed XML, a bad typed value, a duplicate
 *     name or id, or an idref that matches no id or an object of the wrong
 *     kind (the description names the file, the line and the id).
 *   - A failed Deserialize may be retried on the same handle. After a
 *     successful one, the next gives IVICONFIG_ERROR_ALREADY_DESERIALIZED.
 *     Before Deserialize a store is empty.
 *   - Only a regular file of at most 64 MiB is read: any other path (a
 *     directory, a FIFO, a device such as /dev/zero) or a larger file gives
 *     IVICONFIG_ERROR_DESERIALIZE_FAILED with a description naming the path
 *     and the reason, without reading it.
 *   - The process keeps the parsed stores of the last 8 files loaded (each
 *     of at most 4 MiB; a larger one is parsed on every load rather than
 *     held for the life of the process) and parses a file again only when
 *     it changed (size, modification or change
 *     time, device or inode); a file written within 3 seconds before it was
 *     last read is read again and compared byte for byte. A handle keeps the
 *     store it loaded, whatever happens to the file afterwards.
 *
 * Store locations
 *   - Property 3 (master location) is, on POSIX systems, fixed when this
 *     library is built (CMake cache variable QMDC_IVI_CONFIG_MASTER, by
 *     default /etc/ivi/IviConfigurationStore.xml); on Windows
 *     (IviConfigServer.dll) the MasterStore value of the registry key
 *     HKLM\SOFTWARE\IVI\CONFIGURATIONSERVER when there is one, else
 *     %ProgramData%\IVI Foundation\IVI\IviConfigurationStore.xml, where
 *     the IVI shared components keep it. As a test and installation hook,
 *     the environment variable QMDC_IVI_CONFIG_MASTER_OVERRIDE, when set and
 *     not empty at IviConfig_Initialize, replaces it for that store handle.
 *   - Property 5 (process default location) is the IVICONFIGSERVERDEFAULT
 *     environment variable as IviConfig_Initialize finds it (empty when
 *     unset), or what IviConfig_SetConfigStorePropertyViString(store, 5,
 *     path) set on that handle; the environment is never changed. The other
 *     store properties cannot be set (IVICONFIG_ERROR_NOT_SUPPORTED).
 *   - Property 4 (actual location) is the location given to the successful
 *     Deserialize, empty before.
 *   - Deserialize of the master location (compared after lexical
 *     normalisation of both paths) while no file exists there serves a
 *     built-in store that holds only the QmDC driver's software module
 *     "QmDC", as its installer registers it, so that plain resource names
 *     open on a machine without a store. Property 4 then reads the master
 *     location. Any other missing file is an error.
 *
 * Lookups
 *   - IviConfig_GetDriverSession(store, name): a logical name that refers to
 *     a driver session first, then a driver session's own name; no match
 *     gives IVICONFIG_ERROR_SESSION_NOT_FOUND. IviConfig_GetSession also
 *     takes plain sessions. Session functions accept driver session handles;
 *     IviConfig_GetConfigComponent... functions take software modules,
 *     hardware assets, sessions and driver sessions.
 *   - Collections are indexed from 1 to their count. An index outside that
 *     range and a name not in the collection give IVICONFIG_ERROR_NOT_EXIST.
 *   - A reference that is not set (a session without hardware asset or
 *     software module, ...) gives VI_SUCCESS and a NULL handle.
 *   - Data component property 7 (type) reads as "Structure", "String",
 *     "Integer", "Real", "Boolean" or "APIReference". Property 9 (value) must
 *     be read with the getter of that type (String and APIReference by
 *     ViString); another getter, or any getter on a structure, gives
 *     IVICONFIG_ERROR_INVALID_DATA_COMPONENT, as does asking a component that
 *     is no structure for its data component collection. Property 10 (units)
 *     exists on Integer and Real only.
 *   - A property id the object does not have, or one read with a getter of
 *     another type, gives IVICONFIG_ERROR_INVALID_PROPERTY_ID.
 *
 * Texts
 *   - A getter with buffer size 0 (the buffer may then be NULL) returns the
 *     size needed, terminator included, and writes nothing; a negative size
 *     is treated like 0. A buffer that is too small gets a truncated,
 *     terminated text and the size needed is returned (a positive status,
 *     not a failure). When the text fits, VI_SUCCESS. A NULL buffer with a
 *     positive size gives IVICONFIG_ERROR_NULL_POINTER. IviConfig_GetError
 *     follows the same rules.
 *
 * Errors
 *   - IviConfig_GetError describes the last failure of the calling thread;
 *     the text is empty when there was none. Successful calls leave it
 *     unchanged; IviConfig_ClearError empties it. GetError and ClearError
 *     never change it otherwise.
 *   - NULL for a required pointer gives IVICONFIG_ERROR_NULL_POINTER, memory
 *     exhaustion IVICONFIG_ERROR_OUT_OF_MEMORY (both IVI inherent status
 *     values). Handle outputs are set to NULL when a call fails.
 *
 * Handles
 *   - Every handle is an opaque id, never reused within a process, and is
 *     checked on every call: a NULL, stale, made-up or wrong-kind handle
 *     gives IVICONFIG_ERROR_INVALID_HANDLE, never a crash.
 *   - Every call that returns a handle returns a new one, to be released by
 *     IviConfig_DisposeHandle. IviConfig_Close(store) releases the store and
 *     every handle obtained through it, disposed of or not; later use of
 *     those handles gives IVICONFIG_ERROR_INVALID_HANDLE. DisposeHandle on a
 *     store handle is the same as Close.
 *   - All functions are thread-safe. Stores are independent of each other;
 *     reading a file does not block calls on other stores.
 */
#ifndef IVICONFIGSERVER_HEADER
#define IVICONFIGSERVER_HEADER

#include "visatype.h"

#if defined(__cplusplus)
extern "C" {
#endif

#if defined(_WIN32)
#if defined(IVICONFIG_BUILDING)
#define IVICONFIG_API __declspec(dllexport)
#else
#define IVICONFIG_API __declspec(dllimport)
#endif
#else
#define IVICONFIG_API __attribute__((visibility("default")))
#endif

/* Handles: every object and collection handle is an IviConfigHandle. */
typedef void* IviConfigHandle;
typedef IviConfigHandle IviConfigStoreHandle;
typedef IviConfigHandle IviConfigComponentHandle;
typedef IviConfigHandle IviLogicalNameHandle;
typedef IviConfigHandle IviSessionHandle;
typedef IviConfigHandle IviDriverSessionHandle;
typedef IviConfigHandle IviHardwareAssetHandle;
typedef IviConfigHandle IviSoftwareModuleHandle;
typedef IviConfigHandle IviPublishedAPIHandle;
typedef IviConfigHandle IviVirtualNameHandle;
typedef IviConfigHandle IviVirtualRangeHandle;
typedef IviConfigHandle IviPhysicalNameHandle;
typedef IviConfigHandle IviPhysicalRangeHandle;
typedef IviConfigHandle IviDataComponentHandle;
typedef IviConfigHandle IviStructureHandle;
typedef IviConfigHandle IviAPIReferenceHandle;
typedef IviConfigHandle IviLogicalNameCollectionHandle;
typedef IviConfigHandle IviSessionCollectionHandle;
typedef IviConfigHandle IviDriverSessionCollectionHandle;
typedef IviConfigHandle IviHardwareAssetCollectionHandle;
typedef IviConfigHandle IviSoftwareModuleCollectionHandle;
typedef IviConfigHandle IviPublishedAPICollectionHandle;
typedef IviConfigHandle IviVirtualNameCollectionHandle;
typedef IviConfigHandle IviVirtualRangeCollectionHandle;
typedef IviConfigHandle IviPhysicalNameCollectionHandle;
typedef IviConfigHandle IviPhysicalRangeCollectionHandle;
typedef IviConfigHandle IviDataComponentCollectionHandle;

/* Configuration store properties. */
#define IVICONFIG_VAL_CONFIG_STORE_NAME 1
#define IVICONFIG_VAL_CONFIG_STORE_DESCRIPTION 2
#define IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION 3
#define IVICONFIG_VAL_CONFIG_STORE_ACTUAL_LOCATION 4
#define IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION 5
#define IVICONFIG_VAL_CONFIG_STORE_REVISION 6
#define IVICONFIG_VAL_CONFIG_STORE_VENDOR 7
#define IVICONFIG_VAL_CONFIG_STORE_SPEC_MAJOR_VERSION 8
#define IVICONFIG_VAL_CONFIG_STORE_SPEC_MINOR_VERSION 9

/* Properties every configuration component has, and logical names too. */
#define IVICONFIG_VAL_CONFIG_COMPONENT_NAME 1
#define IVICONFIG_VAL_CONFIG_COMPONENT_DESCRIPTION 2
#define IVICONFIG_VAL_LOGICAL_NAME_NAME 1
#define IVICONFIG_VAL_LOGICAL_NAME_DESCRIPTION 2

#define IVICONFIG_VAL_HARDWARE_ASSET_IO_DESCRIPTOR 3
#define IVICONFIG_VAL_SESSION_SOFTWARE_MODULE_NAME 3

/* Driver session: 4..9 ViBoolean, 10 ViString. */
#define IVICONFIG_VAL_DRIVER_SESSION_CACHE 4
#define IVICONFIG_VAL_DRIVER_SESSION_INTERCHANGE_CHECK 5
#define IVICONFIG_VAL_DRIVER_SESSION_QUERY_INSTR_STATUS 6
#define IVICONFIG_VAL_DRIVER_SESSION_RANGE_CHECK 7
#define IVICONFIG_VAL_DRIVER_SESSION_RECORD_COERCIONS 8
#define IVICONFIG_VAL_DRIVER_SESSION_SIMULATE 9
#define IVICONFIG_VAL_DRIVER_SESSION_DRIVER_SETUP 10

/* Software module (PATH and PATH_32 both read <ModulePath>). */
#define IVICONFIG_VAL_SW_MODULE_PATH 3
#define IVICONFIG_VAL_SW_MODULE_PREFIX 4
#define IVICONFIG_VAL_SW_MODULE_PROGID 5
#define IVICONFIG_VAL_SW_MODULE_SUPPORTED_INSTR_MODELS 6
#define IVICONFIG_VAL_SW_MODULE_PATH_32 7
#define IVICONFIG_VAL_SW_MODULE_PATH_64 8
#define IVICONFIG_VAL_SW_MODULE_ASMBLY_QLFD_CLASS_NAME 9

#define IVICONFIG_VAL_VIRTUAL_NAME_NAME 1
#define IVICONFIG_VAL_VIRTUAL_NAME_MAPTO 2

/* Virtual range: 1 ViString, 2..4 ViInt32. */
#define IVICONFIG_VAL_VIRTUAL_RANGE_NAME 1
#define IVICONFIG_VAL_VIRTUAL_RANGE_MIN 2
#define IVICONFIG_VAL_VIRTUAL_RANGE_MAX 3
#define IVICONFIG_VAL_VIRTUAL_RANGE_START_PHYSICAL_INDEX 4

#define IVICONFIG_VAL_PHYSICAL_NAME_NAME 1
#define IVICONFIG_VAL_PHYSICAL_NAME_RCNAME 2

#define IVICONFIG_VAL_PHYSICAL_RANGE_NAME 1
#define IVICONFIG_VAL_PHYSICAL_RANGE_MIN 2
#define IVICONFIG_VAL_PHYSICAL_RANGE_MAX 3

#define IVICONFIG_VAL_PUBLISHED_API_NAME 1
#define IVICONFIG_VAL_PUBLISHED_API_TYPE 2
#define IVICONFIG_VAL_PUBLISHED_API_MAJOR_VERSION 3
#define IVICONFIG_VAL_PUBLISHED_API_MINOR_VERSION 4

/* Data component: 3 ViInt32, 5 ViBoolean, 9 typed, the others ViString. */
#define IVICONFIG_VAL_DATA_COMPONENT_NAME 1
#define IVICONFIG_VAL_DATA_COMPONENT_DESCRIPTION 2
#define IVICONFIG_VAL_DATA_COMPONENT_HELP_CONTEXT_ID 3
#define IVICONFIG_VAL_DATA_COMPONENT_HELP_FILE_PATH 4
#define IVICONFIG_VAL_DATA_COMPONENT_READ_ONLY 5
#define IVICONFIG_VAL_DATA_COMPONENT_SW_MODULE_KEY 6
#define IVICONFIG_VAL_DATA_COMPONENT_TYPE 7
#define IVICONFIG_VAL_DATA_COMPONENT_USED_IN_SESSION 8
#define IVICONFIG_VAL_DATA_COMPONENT_VALUE 9
#define IVICONFIG_VAL_DATA_COMPONENT_UNITS 10

/* Data component type codes. */
#define IVICONFIG_VAL_TYPE_BOOLEAN 1
#define IVICONFIG_VAL_TYPE_INTEGER 2
#define IVICONFIG_VAL_TYPE_REAL 3
#define IVICONFIG_VAL_TYPE_STRING 4

/* Status codes. */
#define IVI_CONFIG_SERVER_ERROR_BASE ((ViStatus)0xBFFA1200L)
#define IVICONFIG_ERROR_DESERIALIZE_FAILED (IVI_CONFIG_SERVER_ERROR_BASE + 0x00)
#define IVICONFIG_ERROR_ALREADY_DESERIALIZED (IVI_CONFIG_SERVER_ERROR_BASE + 0x01)
#define IVICONFIG_ERROR_SERIALIZE_FAILED (IVI_CONFIG_SERVER_ERROR_BASE + 0x02)
#define IVICONFIG_ERROR_SESSION_NOT_FOUND (IVI_CONFIG_SERVER_ERROR_BASE + 0x03)
#define IVICONFIG_ERROR_NOT_IN_GLOBAL (IVI_CONFIG_SERVER_ERROR_BASE + 0x04)
#define IVICONFIG_ERROR_ALREADY_EXIST (IVI_CONFIG_SERVER_ERROR_BASE + 0x05)
#define IVICONFIG_ERROR_MASTER_NOT_FOUND (IVI_CONFIG_SERVER_ERROR_BASE + 0x06)
#define IVICONFIG_ERROR_NOT_EXIST (IVI_CONFIG_SERVER_ERROR_BASE + 0x07)
#define IVICONFIG_ERROR_INVALID_DATA_COMPONENT (IVI_CONFIG_SERVER_ERROR_BASE + 0x08)
#define IVICONFIG_ERROR_LOCAL_REFERENCE_EXIST (IVI_CONFIG_SERVER_ERROR_BASE + 0x09)
#define IVICONFIG_ERROR_INVALID_HANDLE (IVI_CONFIG_SERVER_ERROR_BASE + 0x20)
#define IVICONFIG_ERROR_INVALID_PROPERTY_ID (IVI_CONFIG_SERVER_ERROR_BASE + 0x21)
#define IVICONFIG_ERROR_NOT_SUPPORTED (IVI_CONFIG_SERVER_ERROR_BASE + 0x22)
#define IVICONFIG_ERROR_MASTER_REGISTRY_CONFLICT (IVI_CONFIG_SERVER_ERROR_BASE + 0x23)
#define IVICONFIG_ERROR_DATA_DIR_REGISTRY_CONFLICT (IVI_CONFIG_SERVER_ERROR_BASE + 0x24)
/* This server's additions, with the values of the IVI inherent statuses. */
#define IVICONFIG_ERROR_CANNOT_RECOVER ((ViStatus)0xBFFA0000L)
#define IVICONFIG_ERROR_OUT_OF_MEMORY ((ViStatus)0xBFFA0056L)
#define IVICONFIG_ERROR_NULL_POINTER ((ViStatus)0xBFFA0058L)

/* Lifetime and errors. */
IVICONFIG_API ViStatus _VI_FUNC IviConfig_Initialize(IviConfigStoreHandle* Handle);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_Close(IviConfigStoreHandle Handle);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_DisposeHandle(IviConfigHandle Handle);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetError(ViInt32 BufferSize, ViChar ErrorDescription[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_ClearError(void);

/* Store. Serialize always gives IVICONFIG_ERROR_NOT_SUPPORTED. */
IVICONFIG_API ViStatus _VI_FUNC IviConfig_Deserialize(IviConfigStoreHandle Handle,
                                                      ViConstString Location);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_Serialize(IviConfigStoreHandle Handle,
                                                    ViConstString Location);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStorePropertyViString(
    IviConfigStoreHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_SetConfigStorePropertyViString(
    IviConfigStoreHandle Handle, ViInt32 PropertyID, ViConstString Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStorePropertyViInt32(IviConfigStoreHandle Handle,
                                                                        ViInt32 PropertyID,
                                                                        ViInt32* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSession(IviConfigStoreHandle Handle,
                                                     ViConstString SessionName,
                                                     IviSessionHandle* Session);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDriverSession(IviConfigStoreHandle Handle,
                                                           ViConstString SessionName,
                                                           IviDriverSessionHandle* Session);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStoreLogicalNameCollection(
    IviConfigStoreHandle Handle, IviLogicalNameCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStoreSessionCollection(
    IviConfigStoreHandle Handle, IviSessionCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStoreDriverSessionCollection(
    IviConfigStoreHandle Handle, IviDriverSessionCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStoreHardwareAssetCollection(
    IviConfigStoreHandle Handle, IviHardwareAssetCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStoreSoftwareModuleCollection(
    IviConfigStoreHandle Handle, IviSoftwareModuleCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigStorePublishedAPICollection(
    IviConfigStoreHandle Handle, IviPublishedAPICollectionHandle* Collection);

/* Collections, indexed from 1 to the count. */
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetLogicalNameCount(IviLogicalNameCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetLogicalNameItemByIndex(
    IviLogicalNameCollectionHandle Collection, ViInt32 Index, IviLogicalNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetLogicalNameItemByName(
    IviLogicalNameCollectionHandle Collection, ViConstString Name, IviLogicalNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionCount(IviSessionCollectionHandle Collection,
                                                          ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionItemByIndex(
    IviSessionCollectionHandle Collection, ViInt32 Index, IviSessionHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionItemByName(
    IviSessionCollectionHandle Collection, ViConstString Name, IviSessionHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetDriverSessionCount(IviDriverSessionCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDriverSessionItemByIndex(
    IviDriverSessionCollectionHandle Collection, ViInt32 Index, IviDriverSessionHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDriverSessionItemByName(
    IviDriverSessionCollectionHandle Collection, ViConstString Name, IviDriverSessionHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetHardwareAssetCount(IviHardwareAssetCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetHardwareAssetItemByIndex(
    IviHardwareAssetCollectionHandle Collection, ViInt32 Index, IviHardwareAssetHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetHardwareAssetItemByName(
    IviHardwareAssetCollectionHandle Collection, ViConstString Name, IviHardwareAssetHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetSoftwareModuleCount(IviSoftwareModuleCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSoftwareModuleItemByIndex(
    IviSoftwareModuleCollectionHandle Collection, ViInt32 Index, IviSoftwareModuleHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetSoftwareModuleItemByName(IviSoftwareModuleCollectionHandle Collection,
                                      ViConstString Name, IviSoftwareModuleHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetVirtualNameCount(IviVirtualNameCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualNameItemByIndex(
    IviVirtualNameCollectionHandle Collection, ViInt32 Index, IviVirtualNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualNameItemByName(
    IviVirtualNameCollectionHandle Collection, ViConstString Name, IviVirtualNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetPhysicalNameCount(IviPhysicalNameCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalNameItemByIndex(
    IviPhysicalNameCollectionHandle Collection, ViInt32 Index, IviPhysicalNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalNameItemByName(
    IviPhysicalNameCollectionHandle Collection, ViConstString Name, IviPhysicalNameHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetDataComponentCount(IviDataComponentCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentItemByIndex(
    IviDataComponentCollectionHandle Collection, ViInt32 Index, IviDataComponentHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentItemByName(
    IviDataComponentCollectionHandle Collection, ViConstString Name, IviDataComponentHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetVirtualRangeCount(IviVirtualRangeCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualRangeItemByIndex(
    IviVirtualRangeCollectionHandle Collection, ViInt32 Index, IviVirtualRangeHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetPhysicalRangeCount(IviPhysicalRangeCollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalRangeItemByIndex(
    IviPhysicalRangeCollectionHandle Collection, ViInt32 Index, IviPhysicalRangeHandle* Item);
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetPublishedAPICount(IviPublishedAPICollectionHandle Collection, ViInt32* Count);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPublishedAPIItemByIndex(
    IviPublishedAPICollectionHandle Collection, ViInt32 Index, IviPublishedAPIHandle* Item);

/* Typed properties. */
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigComponentPropertyViString(
    IviConfigComponentHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetLogicalNamePropertyViString(
    IviLogicalNameHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionPropertyViString(IviSessionHandle Handle,
                                                                     ViInt32 PropertyID,
                                                                     ViInt32 BufferSize,
                                                                     ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDriverSessionPropertyViString(
    IviDriverSessionHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetHardwareAssetPropertyViString(
    IviHardwareAssetHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSoftwareModulePropertyViString(
    IviSoftwareModuleHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPublishedAPIPropertyViString(
    IviPublishedAPIHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualNamePropertyViString(
    IviVirtualNameHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualRangePropertyViString(
    IviVirtualRangeHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalNamePropertyViString(
    IviPhysicalNameHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalRangePropertyViString(
    IviPhysicalRangeHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentPropertyViString(
    IviDataComponentHandle Handle, ViInt32 PropertyID, ViInt32 BufferSize, ViChar Value[]);

IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDriverSessionPropertyViBoolean(
    IviDriverSessionHandle Handle, ViInt32 PropertyID, ViBoolean* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualRangePropertyViInt32(
    IviVirtualRangeHandle Handle, ViInt32 PropertyID, ViInt32* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalRangePropertyViInt32(
    IviPhysicalRangeHandle Handle, ViInt32 PropertyID, ViInt32* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPublishedAPIPropertyViInt32(
    IviPublishedAPIHandle Handle, ViInt32 PropertyID, ViInt32* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentPropertyViInt32(
    IviDataComponentHandle Handle, ViInt32 PropertyID, ViInt32* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentPropertyViReal64(
    IviDataComponentHandle Handle, ViInt32 PropertyID, ViReal64* Value);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetDataComponentPropertyViBoolean(
    IviDataComponentHandle Handle, ViInt32 PropertyID, ViBoolean* Value);

/* References and sub-collections. A reference that is not set gives a NULL handle. */
IVICONFIG_API ViStatus _VI_FUNC
IviConfig_GetLogicalNameSessionReference(IviLogicalNameHandle Handle, IviSessionHandle* Session);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionHardwareAssetReference(
    IviSessionHandle Handle, IviHardwareAssetHandle* HardwareAsset);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionSoftwareModuleReference(
    IviSessionHandle Handle, IviSoftwareModuleHandle* SoftwareModule);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetAPIReferencePublishedAPIReference(
    IviAPIReferenceHandle Handle, IviPublishedAPIHandle* PublishedAPI);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSessionVirtualNameCollection(
    IviSessionHandle Handle, IviVirtualNameCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetConfigComponentDataComponentCollection(
    IviConfigComponentHandle Handle, IviDataComponentCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetStructureDataComponentCollection(
    IviStructureHandle Handle, IviDataComponentCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSoftwareModulePhysicalNameCollection(
    IviSoftwareModuleHandle Handle, IviPhysicalNameCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetSoftwareModulePublishedAPICollection(
    IviSoftwareModuleHandle Handle, IviPublishedAPICollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetVirtualNameVirtualRangeCollection(
    IviVirtualNameHandle Handle, IviVirtualRangeCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalNamePhysicalRangeCollection(
    IviPhysicalNameHandle Handle, IviPhysicalRangeCollectionHandle* Collection);
IVICONFIG_API ViStatus _VI_FUNC IviConfig_GetPhysicalNameChildPhysicalNameCollection(
    IviPhysicalNameHandle Handle, IviPhysicalNameCollectionHandle* Collection);

#if defined(__cplusplus)
}
#endif

#endif /* IVICONFIGSERVER_HEADER */
