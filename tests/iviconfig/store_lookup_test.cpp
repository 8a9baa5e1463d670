// Reading a store the way the driver does: logical name to driver session,
// hardware asset, options, software module, virtual and physical names and
// the typed "Configurable Initial Settings".
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "iviconfig_test_support.h"

using namespace iviconfig_test;

namespace {

// Element order varies on purpose, one reference sits in a wrapper element
// and the booleans use every accepted lexical form.
const char kStore[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore xmlns:dt="urn:schemas-microsoft-com:datatypes">
  <Name>IVI Configuration Server</Name>
  <Vendor>Test Vendor</Vendor>
  <SpecificationMajorVersion>1</SpecificationMajorVersion>
  <PublishedAPIs>
    <IviPublishedAPI id="p1"><Name>IviDCPwr</Name><MajorVersion>3</MajorVersion>
      <MinorVersion>0</MinorVersion><Type>IVI-C</Type></IviPublishedAPI>
  </PublishedAPIs>
  <SoftwareModules>
    <IviSoftwareModule id="p2">
      <Name>QmDC</Name><Description>IVI-C Driver for OrvaneDC</Description><Prefix>QmDC</Prefix>
      <ModulePath64>libqmdc.so</ModulePath64>
      <PhysicalNames>
        <IviPhysicalName><Name>CH1</Name><RCName>Channel</RCName></IviPhysicalName>
        <IviPhysicalName><RCName>Output</RCName><Name>CH2</Name></IviPhysicalName>
      </PhysicalNames>
      <PublishedAPIs><IviPublishedAPI idref="p1"/></PublishedAPIs>
    </IviSoftwareModule>
    <IviSoftwareModule id="p3"><Name>Other</Name></IviSoftwareModule>
  </SoftwareModules>
  <HardwareAssets>
    <IviHardwareAsset id="p4"><Name>bench_supply</Name>
      <IOResourceDescriptor>TCPIP0::10.0.0.7::5025::SOCKET</IOResourceDescriptor></IviHardwareAsset>
  </HardwareAssets>
  <DriverSessions>
    <IviDriverSession id="p5">
      <Simulate> 1 </Simulate>
      <Name>supply_session</Name>
      <HardwareAsset><IviHardwareAsset idref="p4"/></HardwareAsset>
      <IviSoftwareModuleRef idref="p2"/>
      <VirtualNames>
        <IviVirtualName><Name>Out</Name><MapTo>CH</MapTo>
          <VirtualRanges><IviVirtualRange><Name>all</Name><Min>1</Min><Max>3</Max>
            <StartingPhysicalIndex>0</StartingPhysicalIndex></IviVirtualRange></VirtualRanges>
        </IviVirtualName>
        <IviVirtualName><Name>Main</Name><MapTo>CH1</MapTo></IviVirtualName>
      </VirtualNames>
      <DataComponents>
        <IviStructure><Name>Configurable Initial Settings</Name><Type>Structure</Type>
          <DataComponents>
            <IviString><Name>model</Name><Type>String</Type><Value>Rack 50-40 QM</Value></IviString>
            <IviInteger><Name>Retries</Name><Value>-3</Value><Units>count</Units></IviInteger>
            <IviReal><Name>Timeout</Name><Type>Real</Type><Value>2.5</Value><Units>s</Units></IviReal>
            <IviBoolean><Name>Beep</Name><Type>boolean</Type><Value>TRUE</Value></IviBoolean>
            <IviAPIReference><Name>Api</Name><Value>other_session</Value>
              <IviPublishedAPI idref="p1"/></IviAPIReference>
          </DataComponents>
        </IviStructure>
      </DataComponents>
      <Cache>false</Cache><DriverSetup>Model=Rack 30-70 QM; Trace=1</DriverSetup>
      <InterchangeCheck>True</InterchangeCheck><QueryInstrStatus>1</QueryInstrStatus>
      <RecordCoercions>0</RecordCoercions>
    </IviDriverSession>
    <IviDriverSession id="p6"><Name>bare_session</Name></IviDriverSession>
  </DriverSessions>
  <Sessions><IviSession id="p7"><Name>plain_session</Name></IviSession></Sessions>
  <LogicalNames>
    <IviLogicalName><Name>MySupply</Name><IviDriverSession idref="p5"/></IviLogicalName>
    <IviLogicalName><Name>PlainName</Name><IviSession idref="p7"/></IviLogicalName>
  </LogicalNames>
</IviConfigStore>
)";

class LoadedStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        path_ = dir_.Write("IviConfigurationStore.xml", kStore);
        ASSERT_EQ(IviConfig_Deserialize(store_, path_.c_str()), VI_SUCCESS) << LastError();
    }

    IviConfigHandle DriverSession(const char* name) {
        return Get(IviConfig_GetDriverSession, store_.handle, name);
    }
    IviConfigHandle Module(const char* name) {
        IviConfigHandle modules =
            Get(IviConfig_GetConfigStoreSoftwareModuleCollection, store_.handle);
        return Get(IviConfig_GetSoftwareModuleItemByName, modules, name);
    }
    IviConfigHandle InitialSettings(IviConfigHandle component) {
        IviConfigHandle components =
            Get(IviConfig_GetConfigComponentDataComponentCollection, component);
        IviConfigHandle cis =
            Get(IviConfig_GetDataComponentItemByName, components, "Configurable Initial Settings");
        return Get(IviConfig_GetStructureDataComponentCollection, cis);
    }

    TempDir dir_;
    std::string path_;
    StoreHandle store_;
};

TEST_F(LoadedStore, LogicalNameLeadsToDriverSessionAndHardwareAsset) {
    IviConfigHandle session = DriverSession("MySupply");
    EXPECT_EQ(Text(IviConfig_GetDriverSessionPropertyViString, session, 1), "supply_session");
    IviConfigHandle asset = Get(IviConfig_GetSessionHardwareAssetReference, session);
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(Text(IviConfig_GetHardwareAssetPropertyViString, asset,
                   IVICONFIG_VAL_HARDWARE_ASSET_IO_DESCRIPTOR),
              "TCPIP0::10.0.0.7::5025::SOCKET");
    IviConfigHandle module = Get(IviConfig_GetSessionSoftwareModuleReference, session);
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, module, 4), "QmDC");
    for (IviConfigHandle h : {asset, module, session})
        EXPECT_EQ(IviConfig_DisposeHandle(h), VI_SUCCESS);

    // The driver session's own name finds it as well.
    IviConfigHandle direct = DriverSession("supply_session");
    EXPECT_EQ(Text(IviConfig_GetSessionPropertyViString, direct, 1), "supply_session");
}

TEST_F(LoadedStore, DriverSessionOptionsAndDriverSetup) {
    const ViInt32 ids[] = {4, 5, 6, 7, 8, 9};
    const ViBoolean configured[] = {VI_FALSE, VI_TRUE, VI_TRUE, VI_TRUE, VI_FALSE, VI_TRUE};
    const ViBoolean defaults[] = {VI_TRUE, VI_FALSE, VI_FALSE, VI_TRUE, VI_FALSE, VI_FALSE};
    IviConfigHandle session = DriverSession("MySupply");
    IviConfigHandle bare = DriverSession("bare_session");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Value<ViBoolean>(IviConfig_GetDriverSessionPropertyViBoolean, session, ids[i]),
                  configured[i])
            << "property " << ids[i];
        EXPECT_EQ(Value<ViBoolean>(IviConfig_GetDriverSessionPropertyViBoolean, bare, ids[i]),
                  defaults[i])
            << "property " << ids[i];
    }
    EXPECT_EQ(Text(IviConfig_GetDriverSessionPropertyViString, session,
                   IVICONFIG_VAL_DRIVER_SESSION_DRIVER_SETUP),
              "Model=Rack 30-70 QM; Trace=1");
    EXPECT_EQ(Text(IviConfig_GetDriverSessionPropertyViString, bare, 10), "");
}

TEST_F(LoadedStore, MissingReferencesGiveSuccessAndNullHandle) {
    IviConfigHandle bare = DriverSession("bare_session");
    IviConfigHandle out = &out;
    EXPECT_EQ(IviConfig_GetSessionHardwareAssetReference(bare, &out), VI_SUCCESS);
    EXPECT_EQ(out, nullptr);
    out = &out;
    EXPECT_EQ(IviConfig_GetSessionSoftwareModuleReference(bare, &out), VI_SUCCESS);
    EXPECT_EQ(out, nullptr);
}

TEST_F(LoadedStore, UnknownNameIsSessionNotFound) {
    IviConfigHandle session = &session;
    EXPECT_EQ(IviConfig_GetDriverSession(store_, "TCPIP0::1.2.3.4::INSTR", &session),
              static_cast<ViStatus>(0xBFFA1203));
    EXPECT_EQ(session, nullptr);
    EXPECT_NE(LastError().find("TCPIP0::1.2.3.4::INSTR"), std::string::npos) << LastError();

    // A logical name of a plain session is no driver session, but is a session.
    EXPECT_EQ(IviConfig_GetDriverSession(store_, "PlainName", &session),
              IVICONFIG_ERROR_SESSION_NOT_FOUND);
    session = Get(IviConfig_GetSession, store_.handle, "PlainName");
    EXPECT_EQ(Text(IviConfig_GetSessionPropertyViString, session, 1), "plain_session");
}

TEST_F(LoadedStore, SoftwareModuleAndItsPhysicalNames) {
    IviConfigHandle module = Module("QmDC");
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, module, 2),
              "IVI-C Driver for OrvaneDC");
    EXPECT_EQ(
        Text(IviConfig_GetSoftwareModulePropertyViString, module, IVICONFIG_VAL_SW_MODULE_PATH_64),
        "libqmdc.so");

    IviConfigHandle names = Get(IviConfig_GetSoftwareModulePhysicalNameCollection, module);
    ASSERT_EQ(Count(IviConfig_GetPhysicalNameCount, names), 2);
    const char* expected[][2] = {{"CH1", "Channel"}, {"CH2", "Output"}};
    for (ViInt32 i = 1; i <= 2; ++i) {
        IviConfigHandle name = Get(IviConfig_GetPhysicalNameItemByIndex, names, i);
        EXPECT_EQ(Text(IviConfig_GetPhysicalNamePropertyViString, name, 1), expected[i - 1][0]);
        EXPECT_EQ(Text(IviConfig_GetPhysicalNamePropertyViString, name,
                       IVICONFIG_VAL_PHYSICAL_NAME_RCNAME),
                  expected[i - 1][1]);
    }

    IviConfigHandle apis = Get(IviConfig_GetSoftwareModulePublishedAPICollection, module);
    ASSERT_EQ(Count(IviConfig_GetPublishedAPICount, apis), 1);
    IviConfigHandle api = Get(IviConfig_GetPublishedAPIItemByIndex, apis, 1);
    EXPECT_EQ(Text(IviConfig_GetPublishedAPIPropertyViString, api, 1), "IviDCPwr");
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetPublishedAPIPropertyViInt32, api, 3), 3);
}

TEST_F(LoadedStore, CollectionsAreIndexedFromOneToCount) {
    IviConfigHandle modules = Get(IviConfig_GetConfigStoreSoftwareModuleCollection, store_.handle);
    ASSERT_EQ(Count(IviConfig_GetSoftwareModuleCount, modules), 2);
    IviConfigHandle second = Get(IviConfig_GetSoftwareModuleItemByIndex, modules, 2);
    EXPECT_EQ(Text(IviConfig_GetSoftwareModulePropertyViString, second, 1), "Other");
    for (ViInt32 index : {0, 3, -1}) {
        IviConfigHandle item = &item;
        EXPECT_EQ(IviConfig_GetSoftwareModuleItemByIndex(modules, index, &item),
                  static_cast<ViStatus>(0xBFFA1207))
            << index;
        EXPECT_EQ(item, nullptr);
    }
    IviConfigHandle item = nullptr;
    EXPECT_EQ(IviConfig_GetSoftwareModuleItemByName(modules, "qmdc", &item),
              IVICONFIG_ERROR_NOT_EXIST)
        << "names are compared exactly";
    EXPECT_NE(LastError().find("'qmdc'"), std::string::npos) << LastError();
}

TEST_F(LoadedStore, VirtualNamesWithAndWithoutRanges) {
    IviConfigHandle session = DriverSession("MySupply");
    IviConfigHandle names = Get(IviConfig_GetSessionVirtualNameCollection, session);
    ASSERT_EQ(Count(IviConfig_GetVirtualNameCount, names), 2);

    IviConfigHandle out = Get(IviConfig_GetVirtualNameItemByIndex, names, 1);
    EXPECT_EQ(Text(IviConfig_GetVirtualNamePropertyViString, out, 1), "Out");
    EXPECT_EQ(Text(IviConfig_GetVirtualNamePropertyViString, out, IVICONFIG_VAL_VIRTUAL_NAME_MAPTO),
              "CH");
    IviConfigHandle ranges = Get(IviConfig_GetVirtualNameVirtualRangeCollection, out);
    ASSERT_EQ(Count(IviConfig_GetVirtualRangeCount, ranges), 1);
    IviConfigHandle range = Get(IviConfig_GetVirtualRangeItemByIndex, ranges, 1);
    EXPECT_EQ(Text(IviConfig_GetVirtualRangePropertyViString, range, 1), "all");
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetVirtualRangePropertyViInt32, range,
                             IVICONFIG_VAL_VIRTUAL_RANGE_MIN),
              1);
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetVirtualRangePropertyViInt32, range, 3), 3);
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetVirtualRangePropertyViInt32, range,
                             IVICONFIG_VAL_VIRTUAL_RANGE_START_PHYSICAL_INDEX),
              0);

    IviConfigHandle main = Get(IviConfig_GetVirtualNameItemByName, names, "Main");
    EXPECT_EQ(Text(IviConfig_GetVirtualNamePropertyViString, main, 2), "CH1");
    EXPECT_EQ(Count(IviConfig_GetVirtualRangeCount,
                    Get(IviConfig_GetVirtualNameVirtualRangeCollection, main)),
              0);
}

TEST_F(LoadedStore, InitialSettingsOfEveryType) {
    IviConfigHandle settings = InitialSettings(DriverSession("MySupply"));
    const ViInt32 count = Count(IviConfig_GetDataComponentCount, settings);
    ASSERT_EQ(count, 5);
    std::map<std::string, std::string> seen;  // name -> type: value
    for (ViInt32 i = 1; i <= count; ++i) {
        IviConfigHandle c = Get(IviConfig_GetDataComponentItemByIndex, settings, i);
        const std::string type = Text(IviConfig_GetDataComponentPropertyViString, c, 7);
        const std::string name = Text(IviConfig_GetDataComponentPropertyViString, c, 1);
        std::string value;
        if (type == "Integer")
            value = std::to_string(Value<ViInt32>(IviConfig_GetDataComponentPropertyViInt32, c, 9));
        else if (type == "Real")
            value =
                std::to_string(Value<ViReal64>(IviConfig_GetDataComponentPropertyViReal64, c, 9));
        else if (type == "Boolean")
            value =
                std::to_string(Value<ViBoolean>(IviConfig_GetDataComponentPropertyViBoolean, c, 9));
        else
            value = Text(IviConfig_GetDataComponentPropertyViString, c, 9);
        seen[name] = type + ": " + value;
    }
    const std::map<std::string, std::string> expected = {{"model", "String: Rack 50-40 QM"},
                                                         {"Retries", "Integer: -3"},
                                                         {"Timeout", "Real: 2.500000"},
                                                         {"Beep", "Boolean: 1"},
                                                         {"Api", "APIReference: other_session"}};
    EXPECT_EQ(seen, expected);

    IviConfigHandle timeout = Get(IviConfig_GetDataComponentItemByName, settings, "Timeout");
    EXPECT_EQ(Text(IviConfig_GetDataComponentPropertyViString, timeout,
                   IVICONFIG_VAL_DATA_COMPONENT_UNITS),
              "s");
    IviConfigHandle api = Get(IviConfig_GetDataComponentItemByName, settings, "Api");
    IviConfigHandle published = Get(IviConfig_GetAPIReferencePublishedAPIReference, api);
    EXPECT_EQ(Text(IviConfig_GetPublishedAPIPropertyViString, published, 1), "IviDCPwr");
}

TEST_F(LoadedStore, ValueIsReadOnlyWithTheGetterOfItsType) {
    IviConfigHandle settings = InitialSettings(DriverSession("MySupply"));
    IviConfigHandle retries = Get(IviConfig_GetDataComponentItemByName, settings, "Retries");
    char text[64];
    EXPECT_EQ(IviConfig_GetDataComponentPropertyViString(retries, 9, sizeof text, text),
              IVICONFIG_ERROR_INVALID_DATA_COMPONENT);
    EXPECT_NE(LastError().find("'Retries' is not of type IviString"), std::string::npos)
        << LastError();
    ViReal64 real;
    EXPECT_EQ(IviConfig_GetDataComponentPropertyViReal64(retries, 9, &real),
              IVICONFIG_ERROR_INVALID_DATA_COMPONENT);

    IviConfigHandle model = Get(IviConfig_GetDataComponentItemByName, settings, "model");
    EXPECT_EQ(IviConfig_GetDataComponentPropertyViString(model, 10, sizeof text, text),
              IVICONFIG_ERROR_INVALID_PROPERTY_ID)
        << "units exist on numbers only";
    EXPECT_EQ(IviConfig_GetDataComponentPropertyViString(model, 42, sizeof text, text),
              IVICONFIG_ERROR_INVALID_PROPERTY_ID);

    IviConfigHandle components =
        Get(IviConfig_GetConfigComponentDataComponentCollection, DriverSession("MySupply"));
    IviConfigHandle structure = Get(IviConfig_GetDataComponentItemByIndex, components, 1);
    EXPECT_EQ(IviConfig_GetDataComponentPropertyViString(structure, 9, sizeof text, text),
              IVICONFIG_ERROR_INVALID_DATA_COMPONENT);
    IviConfigHandle none = nullptr;
    EXPECT_EQ(IviConfig_GetStructureDataComponentCollection(model, &none),
              IVICONFIG_ERROR_INVALID_DATA_COMPONENT);

    ViBoolean flag;
    EXPECT_EQ(IviConfig_GetDriverSessionPropertyViBoolean(DriverSession("MySupply"), 10, &flag),
              IVICONFIG_ERROR_INVALID_PROPERTY_ID);
}

TEST_F(LoadedStore, ComponentWithoutInitialSettingsGivesNotExist) {
    IviConfigHandle components =
        Get(IviConfig_GetConfigComponentDataComponentCollection, DriverSession("bare_session"));
    EXPECT_EQ(Count(IviConfig_GetDataComponentCount, components), 0);
    IviConfigHandle item = nullptr;
    EXPECT_EQ(
        IviConfig_GetDataComponentItemByName(components, "Configurable Initial Settings", &item),
        static_cast<ViStatus>(0xBFFA1207));
}

TEST_F(LoadedStore, StoreProperties) {
    EXPECT_EQ(Text(IviConfig_GetConfigStorePropertyViString, store_.handle, 1),
              "IVI Configuration Server");
    EXPECT_EQ(Text(IviConfig_GetConfigStorePropertyViString, store_.handle, 7), "Test Vendor");
    EXPECT_EQ(Text(IviConfig_GetConfigStorePropertyViString, store_.handle,
                   IVICONFIG_VAL_CONFIG_STORE_ACTUAL_LOCATION),
              path_);
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetConfigStorePropertyViInt32, store_.handle, 8), 1);
    EXPECT_EQ(Value<ViInt32>(IviConfig_GetConfigStorePropertyViInt32, store_.handle, 9), 0);
    ViInt32 number;
    EXPECT_EQ(IviConfig_GetConfigStorePropertyViInt32(store_, 3, &number),
              IVICONFIG_ERROR_INVALID_PROPERTY_ID)
        << "the master location is a text";
    EXPECT_NE(LastError().find("ViString"), std::string::npos) << LastError();
}

}  // namespace
