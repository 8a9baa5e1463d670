#include "store_file.h"

#include "temp_store.h"

namespace qmdc_fuzz {

const std::string& WriteStoreFile(const std::string& xml) {
    // Removed by its destructor when libFuzzer ends a run with exit().
    static const qmdc_test::TempStoreFile store(xml);
    store.Write(xml);
    return store.path();
}

const char* ExampleStore() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore>
  <Name>IVI Configuration Server</Name>
  <SoftwareModules>
    <IviSoftwareModule id="p1"><Name>QmDC</Name><Prefix>QmDC</Prefix>
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
            <IviString><Name>Model</Name><Type>String</Type><Value>Bench 50-20 QM</Value></IviString>
          </DataComponents>
        </IviStructure>
      </DataComponents>
      <VirtualNames>
        <IviVirtualName><Name>Out</Name><MapTo>CH1</MapTo></IviVirtualName>
        <IviVirtualName><Name>Main</Name><MapTo>OutputChannel!!CH1</MapTo></IviVirtualName>
        <IviVirtualName><Name>Rng</Name><MapTo>CH</MapTo>
          <VirtualRanges><IviVirtualRange><Name>r</Name><Min>1</Min><Max>2</Max>
            <StartingPhysicalIndex>1</StartingPhysicalIndex></IviVirtualRange></VirtualRanges>
        </IviVirtualName>
      </VirtualNames>
      <Cache>true</Cache><InterchangeCheck>false</InterchangeCheck>
      <QueryInstrStatus>true</QueryInstrStatus><RangeCheck>true</RangeCheck>
      <RecordCoercions>false</RecordCoercions><Simulate>true</Simulate>
      <DriverSetup>Model:Rack 30-70 QM</DriverSetup>
    </IviDriverSession>
    <IviDriverSession id="p5"><Name>RealSession</Name>
      <IviHardwareAsset idref="p2"/><IviSoftwareModuleRef idref="p1"/>
      <Simulate>false</Simulate>
    </IviDriverSession>
  </DriverSessions>
  <LogicalNames>
    <IviLogicalName id="p4"><Name>PSU</Name><IviDriverSession idref="p3"/></IviLogicalName>
    <IviLogicalName id="p6"><Name>Real</Name><IviDriverSession idref="p5"/></IviLogicalName>
  </LogicalNames>
</IviConfigStore>
)";
}

}  // namespace qmdc_fuzz
