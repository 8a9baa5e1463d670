// The server keeps a parsed store file between loads; every change to the
// file is still seen by the next load, whichever way it was made, and a
// handle keeps the store it loaded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "iviconfig_test_support.h"

using namespace iviconfig_test;

namespace {

// A store whose one hardware asset has `resource` as its resource descriptor.
std::string StoreWith(const std::string& resource) {
    return "<IviConfigStore><HardwareAssets><IviHardwareAsset><Name>bench</Name>"
           "<IOResourceDescriptor>" +
           resource +
           "</IOResourceDescriptor></IviHardwareAsset></HardwareAssets>"
           "</IviConfigStore>\n";
}

// Loads `path` into `store` and reads the asset's resource descriptor.
std::string ResourceIn(IviConfigHandle store, const std::string& path) {
    const ViStatus loaded = IviConfig_Deserialize(store, path.c_str());
    if (loaded != VI_SUCCESS) return "failed: " + LastError();
    IviConfigHandle assets = Get(IviConfig_GetConfigStoreHardwareAssetCollection, store);
    IviConfigHandle bench = Get(IviConfig_GetHardwareAssetItemByName, assets, "bench");
    return Text(IviConfig_GetHardwareAssetPropertyViString, bench, 3);
}

std::string LoadResource(const std::string& path) {
    StoreHandle store;
    return ResourceIn(store, path);
}

struct ChangeCase {
    const char* name;
    std::function<void(const TempDir&, const std::string& path)> change;
    const char* expected;  // the resource the next load reads; "failed": the load fails
};

const ChangeCase kChanges[] = {
    {"rewritten in place, same size",
     [](const TempDir& dir, const std::string&) { dir.Write("store.xml", StoreWith("ASRL2")); },
     "ASRL2"},
    {"rewritten in place, longer",
     [](const TempDir& dir, const std::string&) {
         dir.Write("store.xml", StoreWith("ASRL/dev/ttyUSB0::INSTR"));
     },
     "ASRL/dev/ttyUSB0::INSTR"},
    {"replaced by a renamed file",
     [](const TempDir& dir, const std::string& path) {
         std::rename(dir.Write("next.xml", StoreWith("ASRL3")).c_str(), path.c_str());
     },
     "ASRL3"},
    {"made malformed",
     [](const TempDir& dir, const std::string&) {
         dir.Write("store.xml", "<IviConfigStore><HardwareAssets>\n");
     },
     "failed"},
    {"removed", [](const TempDir&, const std::string& path) { std::remove(path.c_str()); },
     "failed"},
};

TEST(StoreReload, EveryChangeToTheFileIsSeen) {
    for (const ChangeCase& c : kChanges) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Write("store.xml", StoreWith("ASRL1"));
        ASSERT_EQ(LoadResource(path), "ASRL1");
        ASSERT_EQ(LoadResource(path), "ASRL1");  // kept from the first load
        c.change(dir, path);
        const std::string loaded = LoadResource(path);
        EXPECT_EQ(loaded.substr(0, std::string(c.expected).size()), c.expected) << loaded;
        if (std::string(c.expected) == "failed") {
            EXPECT_NE(loaded.find(path), std::string::npos) << loaded;
        }
        // Back to the first content: its store again.
        dir.Write("store.xml", StoreWith("ASRL1"));
        EXPECT_EQ(LoadResource(path), "ASRL1");
    }
}

TEST(StoreReload, HandleKeepsTheStoreItLoaded) {
    TempDir dir;
    const std::string path = dir.Write("store.xml", StoreWith("ASRL1"));
    StoreHandle before;
    ASSERT_EQ(ResourceIn(before, path), "ASRL1");
    dir.Write("store.xml", StoreWith("ASRL2"));
    StoreHandle after;
    ASSERT_EQ(ResourceIn(after, path), "ASRL2");
    IviConfigHandle assets = Get(IviConfig_GetConfigStoreHardwareAssetCollection, before.handle);
    IviConfigHandle bench = Get(IviConfig_GetHardwareAssetItemByName, assets, "bench");
    EXPECT_EQ(Text(IviConfig_GetHardwareAssetPropertyViString, bench, 3), "ASRL1");
}

// Files of many paths: the ones kept give way, each still loads its own.
TEST(StoreReload, ManyFilesEachLoadTheirOwn) {
    TempDir dir;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i) {
            const std::string resource = "ASRL" + std::to_string(i);
            const std::string path = dir.File("store" + std::to_string(i) + ".xml");
            if (round == 0) dir.Write("store" + std::to_string(i) + ".xml", StoreWith(resource));
            EXPECT_EQ(LoadResource(path), resource);
        }
    }
}

// Once a file's times are older than any doubt, they alone vouch for it; a
// later write of the same size changes them and is seen.
TEST(StoreReload, SettledFileIsStillReloadedWhenWritten) {
    TempDir dir;
    const std::string path = dir.Write("store.xml", StoreWith("ASRL1"));
    ASSERT_EQ(LoadResource(path), "ASRL1");
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    ASSERT_EQ(LoadResource(path), "ASRL1");  // checked once more, then trusted
    ASSERT_EQ(LoadResource(path), "ASRL1");
    dir.Write("store.xml", StoreWith("ASRL2"));
    EXPECT_EQ(LoadResource(path), "ASRL2");
}

// Loads from several threads while the file is replaced again and again:
// each load gets one whole version of it.
TEST(StoreReload, ThreadsLoadWhileTheFileIsReplaced) {
    TempDir dir;
    const std::string path = dir.Write("store.xml", StoreWith("ASRL1"));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            const std::string next = dir.Write("next.xml", StoreWith(i % 2 ? "ASRL1" : "ASRL2"));
            std::rename(next.c_str(), path.c_str());
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                const std::string loaded = LoadResource(path);
                if (loaded != "ASRL1" && loaded != "ASRL2") ++wrong;
            }
        });
    }
    for (std::thread& reader : readers) reader.join();
    done = true;
    writer.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
