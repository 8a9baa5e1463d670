// The configuration store XML, read as the server reads it: the input is
// written to the store file named by IVICONFIGSERVERDEFAULT, a session is
// opened by logical name (sessions simulate or open a closed loopback port:
// support/loopback_only.cpp), and the store is walked through the
// IviConfig_* functions with each text read at the size it asks for, one
// less, and none.
#include <functional>
#include <string>

#include "IviConfigServer.h"
#include "QmDC.h"
#include "support/driver_checks.h"
#include "support/fuzz_check.h"
#include "support/guarded_text.h"
#include "support/store_file.h"

using namespace qmdc_fuzz;

namespace {

using TextGetter = std::function<ViStatus(ViInt32 size, ViChar* buffer)>;

// The server's text rules: size 0 gives the size needed and writes nothing;
// that size gives the whole text; one less gives a cut, terminated text and
// again the size needed.
void CheckText(const TextGetter& get) {
    GuardedText none(0);
    const ViStatus needed = get(0, none.data());
    none.CheckGuards("IviConfig size 0");
    if (needed <= 0) return;
    FUZZ_CHECK(needed < (1 << 24), "a text of %ld bytes", static_cast<long>(needed));
    GuardedText whole(static_cast<size_t>(needed));
    FUZZ_CHECK(get(needed, whole.data()) == VI_SUCCESS, "the size asked for did not do");
    FUZZ_CHECK(whole.CheckTerminated("IviConfig text") + 1 == static_cast<size_t>(needed),
               "the text is not as long as its size said");
    if (needed == 1) return;
    GuardedText cut(static_cast<size_t>(needed) - 1);
    FUZZ_CHECK(get(needed - 1, cut.data()) == needed, "a cut text did not give the size");
    FUZZ_CHECK(cut.CheckTerminated("IviConfig cut text") + 2 == static_cast<size_t>(needed),
               "the cut text has the wrong length");
}

using PropertyGetter = ViStatus (*)(IviConfigHandle, ViInt32, ViInt32, ViChar*);

void CheckProperties(IviConfigHandle item, PropertyGetter get) {
    for (ViInt32 id = 1; id <= 10; ++id)
        CheckText([&](ViInt32 size, ViChar* buffer) { return get(item, id, size, buffer); });
}

using CountFunction = ViStatus (*)(IviConfigHandle, ViInt32*);
using ItemFunction = ViStatus (*)(IviConfigHandle, ViInt32, IviConfigHandle*);

// Each item of a collection (released by the caller's store close).
void ForEachItem(IviConfigHandle collection, CountFunction count, ItemFunction item,
                 const std::function<void(IviConfigHandle)>& visit) {
    ViInt32 n = 0;
    if (count(collection, &n) != VI_SUCCESS) return;
    FUZZ_CHECK(n >= 0, "a negative count");
    for (ViInt32 i = 1; i <= n && i <= 64; ++i) {
        IviConfigHandle handle = nullptr;
        if (item(collection, i, &handle) == VI_SUCCESS) visit(handle);
    }
}

// Data components, and those inside structures, a few levels deep.
void WalkComponents(IviConfigHandle components, int depth) {
    if (depth > 8) return;
    ForEachItem(
        components, IviConfig_GetDataComponentCount, IviConfig_GetDataComponentItemByIndex,
        [&](IviConfigHandle component) {
            CheckProperties(component, IviConfig_GetDataComponentPropertyViString);
            IviConfigHandle inner = nullptr;
            if (IviConfig_GetStructureDataComponentCollection(component, &inner) == VI_SUCCESS)
                WalkComponents(inner, depth + 1);
        });
}

void WalkDataComponents(IviConfigHandle owner) {
    IviConfigHandle components = nullptr;
    if (IviConfig_GetConfigComponentDataComponentCollection(owner, &components) == VI_SUCCESS)
        WalkComponents(components, 0);
}

void WalkStore(const std::string& path) {
    IviConfigStoreHandle store = nullptr;
    if (IviConfig_Initialize(&store) != VI_SUCCESS) return;
    if (IviConfig_Deserialize(store, path.c_str()) == VI_SUCCESS) {
        IviConfigHandle collection = nullptr;
        if (IviConfig_GetConfigStoreLogicalNameCollection(store, &collection) == VI_SUCCESS)
            ForEachItem(collection, IviConfig_GetLogicalNameCount,
                        IviConfig_GetLogicalNameItemByIndex, [](IviConfigHandle item) {
                            CheckProperties(item, IviConfig_GetLogicalNamePropertyViString);
                        });
        if (IviConfig_GetConfigStoreDriverSessionCollection(store, &collection) == VI_SUCCESS)
            ForEachItem(
                collection, IviConfig_GetDriverSessionCount, IviConfig_GetDriverSessionItemByIndex,
                [](IviConfigHandle session) {
                    CheckProperties(session, IviConfig_GetDriverSessionPropertyViString);
                    WalkDataComponents(session);
                    IviConfigHandle names = nullptr;
                    if (IviConfig_GetSessionVirtualNameCollection(session, &names) == VI_SUCCESS)
                        ForEachItem(names, IviConfig_GetVirtualNameCount,
                                    IviConfig_GetVirtualNameItemByIndex, [](IviConfigHandle name) {
                                        CheckProperties(name,
                                                        IviConfig_GetVirtualNamePropertyViString);
                                    });
                });
        if (IviConfig_GetConfigStoreHardwareAssetCollection(store, &collection) == VI_SUCCESS)
            ForEachItem(collection, IviConfig_GetHardwareAssetCount,
                        IviConfig_GetHardwareAssetItemByIndex, [](IviConfigHandle item) {
                            CheckProperties(item, IviConfig_GetHardwareAssetPropertyViString);
                        });
        if (IviConfig_GetConfigStoreSoftwareModuleCollection(store, &collection) == VI_SUCCESS)
            ForEachItem(collection, IviConfig_GetSoftwareModuleCount,
                        IviConfig_GetSoftwareModuleItemByIndex, [](IviConfigHandle module) {
                            CheckProperties(module, IviConfig_GetSoftwareModulePropertyViString);
                            WalkDataComponents(module);
                        });
    } else {
        CheckText([](ViInt32 size, ViChar* buffer) { return IviConfig_GetError(size, buffer); });
    }
    FUZZ_CHECK(IviConfig_Close(store) == VI_SUCCESS, "the store did not close");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path =
        WriteStoreFile(std::string(reinterpret_cast<const char*>(data), size));
    for (const char* name : {"PSU", "Real", "PsuSession"}) {
        ViSession vi = 0x5A5A;
        const ViStatus status =
            QmDC_InitWithOptions(const_cast<ViRsrc>(name), VI_FALSE, VI_FALSE, "", &vi);
        if (status < 0) {
            CheckFailedInit(status, vi, VI_FALSE);
            continue;
        }
        CheckStringAttribute(vi, "", QMDC_ATTR_LOGICAL_NAME, 256);
        CheckStringAttribute(vi, "", QMDC_ATTR_IO_RESOURCE_DESCRIPTOR, 256);
        CheckStringAttribute(vi, "", QMDC_ATTR_DRIVER_SETUP, 256);
        CheckStringAttribute(vi, "Out", QMDC_ATTR_INSTRUMENT_MODEL, 256);
        CheckClose(vi);
    }
    WalkStore(path);
    return 0;
}
