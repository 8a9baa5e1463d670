// Which store a handle opens (master, process default, built-in) and how
// loading fails: missing, malformed or inconsistent files.
#include <gtest/gtest.h>

#include <string>

#include "iviconfig_test_support.h"

using namespace iviconfig_test;

namespace {

std::string StoreProperty(IviConfigHandle store, ViInt32 id) {
    return Text(IviConfig_GetConfigStorePropertyViString, store, id);
}

const char kOneLogicalName[] = R"(<IviConfigStore>
  <DriverSessions><IviDriverSession id="s"><Name>sess</Name></IviDriverSession></DriverSessions>
  <LogicalNames><IviLogicalName><Name>Supply</Name><IviDriverSession idref="s"/></IviLogicalName>
  </LogicalNames>
</IviConfigStore>)";

TEST(Location, MasterWithoutFileServesBuiltInStore) {
    TempDir dir;
    const std::string master = dir.File("absent/IviConfigurationStore.xml");
    ScopedEnv override("QMDC_IVI_CONFIG_MASTER_OVERRIDE", master.c_str());
    ScopedEnv processDefault("IVICONFIGSERVERDEFAULT", nullptr);
    StoreHandle store;
    EXPECT_EQ(StoreProperty(store, IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION), "");
    ASSERT_EQ(StoreProperty(store, IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION), master);
    ASSERT_EQ(IviConfig_Deserialize(store, master.c_str()), VI_SUCCESS) << LastError();
    EXPECT_EQ(StoreProperty(store, IVICONFIG_VAL_CONFIG_STORE_ACTUAL_LOCATION), master);

    IviConfigHandle modules = Get(IviConfig_GetConfigStoreSoftwareModuleCollection, store.handle);
    EXPECT_EQ(Count(IviConfig_GetSoftwareModuleCount, modules), 1);
    IviConfigHandle qmdc = Get(IviConfig_GetSoftwareModuleItemByName, modules, "QmDC");
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, qmdc, 4), "QmDC");
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, qmdc, 2),
              "IVI-C Driver for OrvaneDC");
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, qmdc,
                   IVICONFIG_VAL_SW_MODULE_SUPPORTED_INSTR_MODELS),
              "Bench 30-33 QM,Bench 50-20 QM,Bench 100-10 QM,Bench 200-5 QM,Bench 400-2.5 QM,"
              "Rack 30-70 QM,Rack 50-40 QM,Rack 100-20 QM,Rack 200-10 QM,Rack 400-5 QM");
    EXPECT_EQ(Count(IviConfig_GetPhysicalNameCount,
                    Get(IviConfig_GetSoftwareModulePhysicalNameCollection, qmdc)),
              0);
    IviConfigHandle components = Get(IviConfig_GetConfigComponentDataComponentCollection, qmdc);
    IviConfigHandle none = nullptr;
    EXPECT_EQ(
        IviConfig_GetDataComponentItemByName(components, "Configurable Initial Settings", &none),
        IVICONFIG_ERROR_NOT_EXIST);
    EXPECT_EQ(IviConfig_GetDriverSession(store, "ASRL1::INSTR", &none),
              IVICONFIG_ERROR_SESSION_NOT_FOUND);
}

TEST(Location, MasterFileIsReadWhenPresent) {
    TempDir dir;
    const std::string master = dir.Write("master.xml", kOneLogicalName);
    ScopedEnv override("QMDC_IVI_CONFIG_MASTER_OVERRIDE", master.c_str());
    StoreHandle store;
    ASSERT_EQ(IviConfig_Deserialize(store, master.c_str()), VI_SUCCESS) << LastError();
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store.handle, "Supply");
    EXPECT_EQ(Text(IviConfig_GetDriverSessionPropertyViString, session, 1), "sess");
    IviConfigHandle modules = Get(IviConfig_GetConfigStoreSoftwareModuleCollection, store.handle);
    EXPECT_EQ(Count(IviConfig_GetSoftwareModuleCount, modules), 0) << "no built-in module mixed in";
}

TEST(Location, BuildTimeMasterWithoutOverride) {
    ScopedEnv override("QMDC_IVI_CONFIG_MASTER_OVERRIDE", nullptr);
    StoreHandle store;
    EXPECT_EQ(StoreProperty(store, IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION), BUILT_IN_MASTER);
}

TEST(Location, ProcessDefaultFromEnvironmentOrSetPerHandle) {
    ScopedEnv processDefault("IVICONFIGSERVERDEFAULT", "/srv/ivi/store.xml");
    StoreHandle first;
    EXPECT_EQ(StoreProperty(first, IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION),
              "/srv/ivi/store.xml");
    EXPECT_EQ(IviConfig_SetConfigStorePropertyViString(first, 5, "/tmp/mine.xml"), VI_SUCCESS);
    EXPECT_EQ(StoreProperty(first, 5), "/tmp/mine.xml");
    StoreHandle second;
    EXPECT_EQ(StoreProperty(second, 5), "/srv/ivi/store.xml") << "the environment is untouched";

    EXPECT_EQ(IviConfig_SetConfigStorePropertyViString(first, 3, "/x"),
              IVICONFIG_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(IviConfig_SetConfigStorePropertyViString(first, 99, "/x"),
              IVICONFIG_ERROR_INVALID_PROPERTY_ID);
}

TEST(Location, MissingFileIsNamedAndMayBeRetried) {
    TempDir dir;
    const std::string missing = dir.File("none.xml");
    StoreHandle store;
    EXPECT_EQ(IviConfig_Deserialize(store, missing.c_str()), IVICONFIG_ERROR_DESERIALIZE_FAILED);
    EXPECT_NE(LastError().find(missing), std::string::npos) << LastError();
    EXPECT_NE(LastError().find("No such file"), std::string::npos) << LastError();

    EXPECT_EQ(IviConfig_Deserialize(store, dir.path().c_str()), IVICONFIG_ERROR_DESERIALIZE_FAILED)
        << "a directory";
    EXPECT_EQ(IviConfig_Deserialize(store, ""), IVICONFIG_ERROR_DESERIALIZE_FAILED);
    EXPECT_NE(LastError().find("empty"), std::string::npos) << LastError();

    const std::string good = dir.Write("good.xml", kOneLogicalName);
    EXPECT_EQ(IviConfig_Deserialize(store, good.c_str()), VI_SUCCESS) << LastError();
    EXPECT_EQ(IviConfig_Deserialize(store, good.c_str()), IVICONFIG_ERROR_ALREADY_DESERIALIZED);
}

struct BadFile {
    const char* what;
    const char* text;
    const char* mentioned;  // expected in the description
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.what;
}

class BadStore : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadStore, IsRefusedWithAClearDescription) {
    TempDir dir;
    const std::string path = dir.Write("store.xml", GetParam().text);
    StoreHandle store;
    EXPECT_EQ(IviConfig_Deserialize(store, path.c_str()), IVICONFIG_ERROR_DESERIALIZE_FAILED);
    const std::string error = LastError();
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().mentioned), std::string::npos) << error;
    EXPECT_EQ(StoreProperty(store, IVICONFIG_VAL_CONFIG_STORE_ACTUAL_LOCATION), "");
}

const BadFile kBadFiles[] = {
    {"Malformed", "<IviConfigStore>\n<Sessions>\n\n<IviSession><Name>a</Nome>\n", "line 4"},
    {"Empty", "", "line 1"},
    {"WrongRoot", "<Store/>", "<Store>"},
    {"DanglingIdref",
     "<IviConfigStore><LogicalNames>\n<IviLogicalName><Name>L</Name><IviSession idref=\"p9\"/>"
     "</IviLogicalName></LogicalNames></IviConfigStore>",
     "'p9'"},
    {"IdrefToWrongKind",
     "<IviConfigStore><SoftwareModules><IviSoftwareModule id=\"m\"/></SoftwareModules>\n"
     "<Sessions><IviSession><IviHardwareAsset idref=\"m\"/></IviSession></Sessions>"
     "</IviConfigStore>",
     "line 2"},
    {"DuplicateId",
     "<IviConfigStore><Sessions><IviSession id=\"a\"><Name>x</Name></IviSession>\n"
     "<IviSession id=\"a\"><Name>y</Name></IviSession></Sessions></IviConfigStore>",
     "'a'"},
    {"DuplicateName",
     "<IviConfigStore><LogicalNames><IviLogicalName><Name>L</Name></IviLogicalName>\n"
     "<IviLogicalName><Name>L</Name></IviLogicalName></LogicalNames></IviConfigStore>",
     "line 2"},
    {"BadBoolean",
     "<IviConfigStore><DriverSessions><IviDriverSession><Name>d</Name>"
     "<Simulate>maybe</Simulate></IviDriverSession></DriverSessions></IviConfigStore>",
     "'maybe'"},
    {"BadInteger",
     "<IviConfigStore><DriverSessions><IviDriverSession><VirtualNames><IviVirtualName>"
     "<VirtualRanges><IviVirtualRange><Min>1.5</Min></IviVirtualRange></VirtualRanges>"
     "</IviVirtualName></VirtualNames></IviDriverSession></DriverSessions></IviConfigStore>",
     "<Min>"},
    {"TypeDisagreesWithElement",
     "<IviConfigStore><SoftwareModules><IviSoftwareModule><DataComponents>"
     "<IviInteger><Name>n</Name><Type>String</Type><Value>1</Value></IviInteger>"
     "</DataComponents></IviSoftwareModule></SoftwareModules></IviConfigStore>",
     "'String'"},
    {"UnexpectedItem",
     "<IviConfigStore><HardwareAssets><IviSession/></HardwareAssets></IviConfigStore>",
     "<IviSession>"},
};

INSTANTIATE_TEST_SUITE_P(Files, BadStore, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
