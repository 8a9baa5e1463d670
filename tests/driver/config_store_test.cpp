// Resolving init's name through a configuration store file written by the
// test: logical names, session flags, DriverSetup, virtual names and ranges,
// initial settings of each type, and broken stores.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "QmDC.h"
#include "visa.h"
#include "driver_test_support.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"
#include "scoped_env.h"
#include "temp_store.h"

using qmdc_test::ErrorDescription;
using qmdc_test::ScopedEnv;
using qmdc_test::Session;

namespace {

const char* const kStore = R"(<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore>
  <Name>IVI Configuration Server</Name>
  <SoftwareModules>
    <IviSoftwareModule id="p1">
      <Name>QmDC</Name><Prefix>QmDC</Prefix>
      <DataComponents>
        <IviStructure><Name>Configurable Initial Settings</Name><Type>Structure</Type>
          <DataComponents>
            <IviString><Name>Model</Name><Type>String</Type><Value>Bench 200-5 QM</Value></IviString>
          </DataComponents>
        </IviStructure>
      </DataComponents>
      <PhysicalNames>
        <IviPhysicalName><Name>CH1</Name><RCName>OutputChannel</RCName></IviPhysicalName>
      </PhysicalNames>
    </IviSoftwareModule>
  </SoftwareModules>
  <HardwareAssets>
    <IviHardwareAsset id="p2"><Name>bench</Name>
      <IOResourceDescriptor>TCPIP0::127.0.0.1::1::SOCKET</IOResourceDescriptor>
    </IviHardwareAsset>
  </HardwareAssets>
  <DriverSessions>
    <IviDriverSession id="p3"><Name>PsuSession</Name>
      <IviHardwareAsset idref="p2"/><IviSoftwareModuleRef idref="p1"/>
      <DataComponents>
        <IviStructure><Name>Configurable Initial Settings</Name><Type>Structure</Type>
          <DataComponents>
            <IviString><Name>MODEL</Name><Type>String</Type><Value>Rack 100-20 QM</Value></IviString>
            <IviInteger><Name>Retries</Name><Type>Integer</Type><Value>-3</Value></IviInteger>
            <IviReal><Name>Settle</Name><Type>Real</Type><Value>2.5</Value></IviReal>
            <IviBoolean><Name>Beep</Name><Type>Boolean</Type><Value>true</Value></IviBoolean>
            <IviAPIReference><Name>Other</Name><Type>APIReference</Type><Value>x</Value></IviAPIReference>
          </DataComponents>
        </IviStructure>
      </DataComponents>
      <VirtualNames>
        <IviVirtualName><Name>Out</Name><MapTo>CH</MapTo>
          <VirtualRanges><IviVirtualRange><Name>r</Name><Min>1</Min><Max>3</Max>
            <StartingPhysicalIndex>0</StartingPhysicalIndex></IviVirtualRange></VirtualRanges>
        </IviVirtualName>
        <IviVirtualName><Name>Main</Name><MapTo>OutputChannel!!CH1</MapTo></IviVirtualName>
      </VirtualNames>
      <Cache>false</Cache><InterchangeCheck>false</InterchangeCheck>
      <QueryInstrStatus>true</QueryInstrStatus><RangeCheck>true</RangeCheck>
      <RecordCoercions>true</RecordCoercions><Simulate>true</Simulate>
      <DriverSetup>Model:Bench 30-33 QM, Extra:1</DriverSetup>
    </IviDriverSession>
  </DriverSessions>
  <LogicalNames>
    <IviLogicalName id="p4"><Name>PSU</Name><IviDriverSession idref="p3"/></IviLogicalName>
  </LogicalNames>
</IviConfigStore>
)";

class ConfigStoreTest : public ::testing::Test {
  protected:
    void Write(const std::string& text) { store_.Write(text); }

    qmdc_test::TempStoreFile store_{kStore};
    const std::string& dir_ = store_.dir();
    const std::string& path_ = store_.path();
};

}  // namespace

TEST_F(ConfigStoreTest, LogicalNameBringsTheSessionsSettings) {
    Session session("PSU");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    kiln::DriverSession& s = *kiln::FindSession(session.vi());
    EXPECT_EQ(s.GetLogicalName(), "PSU");
    EXPECT_EQ(s.GetIoResourceDescriptor(), "TCPIP0::127.0.0.1::1::SOCKET");
    EXPECT_FALSE(s.GetCache());
    EXPECT_TRUE(s.GetQueryInstrStatus());
    EXPECT_TRUE(s.GetRecordCoercions());
    EXPECT_TRUE(s.GetSimulate());
    EXPECT_EQ(s.GetDriverSetup(), "Model:Bench 30-33 QM, Extra:1");
    std::string extra;
    EXPECT_TRUE(s.FindDriverSetupValue("extra", extra));
    // The session's initial setting comes after its DriverSetup.
    EXPECT_EQ(s.GetInstrumentModel(), "Rack 100-20 QM");

    ViInt32 retries = 0;
    ViReal64 settle = 0;
    bool beep = false;
    std::string model;
    EXPECT_TRUE(s.FindInitialSettingInt32("retries", retries));
    EXPECT_EQ(retries, -3);
    EXPECT_TRUE(s.FindInitialSettingReal64("SETTLE", settle));
    EXPECT_DOUBLE_EQ(settle, 2.5);
    EXPECT_TRUE(s.FindInitialSettingBoolean("Beep", beep));
    EXPECT_TRUE(beep);
    EXPECT_FALSE(s.FindInitialSettingString("Other", model));

    EXPECT_EQ(s.MapVirtualName("Out1"), "CH0");
    EXPECT_EQ(s.MapVirtualName("Out3"), "CH2");
    EXPECT_EQ(s.MapVirtualName("Out"), "Out");
    EXPECT_EQ(s.MapVirtualName("Main"), "CH1");
    EXPECT_EQ(s.MapVirtualNameTarget("CH1"), "Out2");
    EXPECT_EQ(s.PhysicalNameTable().at("CH1"), "OutputChannel");
}

TEST_F(ConfigStoreTest, OptionStringOverridesTheSession) {
    Session session("PSU", "Cache=1, Simulate=0, DriverSetup=Model:Bench 50-20 QM");
    // Simulation is off now, so init reaches for the store's instrument, which
    // is not there (a closed loopback port).
    EXPECT_EQ(session.status(), VI_ERROR_RSRC_NFOUND);
    Session simulated("PSU", "Cache=1, QueryInstrStatus=0, DriverSetup=Model:Bench 50-20 QM");
    ASSERT_EQ(simulated.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    kiln::DriverSession& s = *kiln::FindSession(simulated.vi());
    EXPECT_TRUE(s.GetCache());
    EXPECT_FALSE(s.GetQueryInstrStatus());
    EXPECT_TRUE(s.GetInitialCache());
    EXPECT_EQ(s.GetInstrumentModel(), "Bench 50-20 QM");
    std::string extra;
    EXPECT_FALSE(s.FindDriverSetupValue("Extra", extra));  // replaced entirely
}

TEST_F(ConfigStoreTest, PlainResourceUsesTheModulesSettings) {
    Session session("TCPIP0::sim::1::SOCKET", "Simulate=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    kiln::DriverSession& s = *kiln::FindSession(session.vi());
    EXPECT_EQ(s.GetLogicalName(), "");
    EXPECT_EQ(s.GetIoResourceDescriptor(), "TCPIP0::sim::1::SOCKET");
    EXPECT_EQ(s.GetInstrumentModel(), "Bench 200-5 QM");
}

TEST_F(ConfigStoreTest, StoreWithoutTheDriversModuleFailsPlainResources) {
    std::string store = kStore;
    store.replace(store.find("<Name>QmDC</Name>"), 17, "<Name>Other</Name>");
    Write(store);
    Session session("TCPIP0::sim::1::SOCKET", "Simulate=1");
    EXPECT_EQ(session.status(), static_cast<ViStatus>(0xBFFA1207));
    EXPECT_EQ(session.vi(), VI_NULL);
    EXPECT_FALSE(ErrorDescription(VI_NULL).empty());
}

TEST_F(ConfigStoreTest, MalformedStoreNamesTheFileAndLine) {
    Write("<?xml version=\"1.0\"?>\n<IviConfigStore>\n  <Broken>\n</IviConfigStore>\n");
    Session session("PSU", "Simulate=1");
    EXPECT_EQ(session.status(), static_cast<ViStatus>(0xBFFA1200));
    const std::string description = ErrorDescription(VI_NULL);
    EXPECT_NE(description.find(path_), std::string::npos) << description;
    EXPECT_NE(description.find("line"), std::string::npos) << description;
}

// A store named by IVICONFIGSERVERDEFAULT that cannot serve: a logical name
// fails with a description naming the path and the reason, a plain resource
// name opens with the built-in store. A FIFO or a device is never read (it
// would block or never end), nor is a file beyond 64 MiB.
TEST_F(ConfigStoreTest, UnusableStoreFailsLogicalNamesOnly) {
    struct Case {
        const char* file;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const Case cases[] = {
        {"nothing-here.xml", [](const std::string&) {}, "No such file"},
        {"broken.xml", [](const std::string& p) { std::ofstream(p) << "<IviConfigStore><Broken>"; },
         "line"},
        {"fifo.xml", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "is a FIFO"},
        {"dir.xml", [](const std::string& p) { std::filesystem::create_directory(p); },
         "is a directory"},
        {"huge.xml",
         [](const std::string& p) {
             std::ofstream(p) << "<IviConfigStore>";
             std::filesystem::resize_file(p, (std::uintmax_t{64} << 20) + 1);
         },
         "larger than 64 MiB"},
        {"/dev/zero", [](const std::string&) {}, "is a character device"},
    };
    for (const Case& c : cases) {
        const std::string path = c.file[0] == '/' ? c.file : dir_ + "/" + c.file;
        c.make(path);
        ScopedEnv store("IVICONFIGSERVERDEFAULT", path.c_str());
        Session logical("PSU", "Simulate=1");
        EXPECT_EQ(logical.status(), static_cast<ViStatus>(0xBFFA1200)) << path;
        const std::string description = ErrorDescription(VI_NULL);
        EXPECT_NE(description.find(path), std::string::npos) << description;
        EXPECT_NE(description.find(c.reason), std::string::npos) << description;
        Session plain("TCPIP0::sim::1::SOCKET", "Simulate=1");
        EXPECT_EQ(plain.status(), VI_SUCCESS) << path << ": " << ErrorDescription(VI_NULL);
    }
}

TEST_F(ConfigStoreTest, BuiltInStoreServesPlainResources) {
    ScopedEnv noDefault("IVICONFIGSERVERDEFAULT", nullptr);
    ScopedEnv noMaster("QMDC_IVI_CONFIG_MASTER_OVERRIDE", (dir_ + "/no-master.xml").c_str());
    Session session("TCPIP0::sim::1::SOCKET", "Simulate=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    EXPECT_EQ(kiln::FindSession(session.vi())->GetInstrumentModel(), "Rack 30-70 QM");
    // Without the file, PSU is no logical name but taken as a resource.
    Session logical("PSU", "Simulate=1");
    ASSERT_EQ(logical.status(), VI_SUCCESS);
    EXPECT_EQ(kiln::FindSession(logical.vi())->GetLogicalName(), "");
    EXPECT_EQ(kiln::FindSession(logical.vi())->GetIoResourceDescriptor(), "PSU");
}

TEST_F(ConfigStoreTest, HugeVirtualRangeIsRefused) {
    std::string store = kStore;
    store.replace(store.find("<Max>3</Max>"), 12, "<Max>2000000000</Max>");
    Write(store);
    Session session("PSU");
    EXPECT_EQ(session.status(), QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_NE(ErrorDescription(VI_NULL).find("names more than"), std::string::npos);
}
