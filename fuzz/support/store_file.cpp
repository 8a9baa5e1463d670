#include "store_file.h"

#include "store_xml.h"
#include "temp_store.h"

namespace qmdc_fuzz {

namespace {
// Port 1 on loopback (and the targets open only a closed loopback port anyway).
const char* const kNothingListens = "TCPIP0::127.0.0.1::1::SOCKET";
}  // namespace

const std::string& WriteStoreFile(const std::string& xml) {
    // Removed by its destructor when libFuzzer ends a run with exit().
    static const qmdc_test::TempStoreFile store(xml);
    store.Write(xml);
    return store.path();
}

const std::string& ExampleStore() {
    static const std::string store = qmdc_test::StoreXml({
        {"PSU", "PsuSession",
         R"(<DataComponents>
  <IviStructure><Name>Configurable Initial Settings</Name><Type>Structure</Type>
    <DataComponents>
      <IviString><Name>Model</Name><Type>String</Type><Value>Bench 50-20 QM</Value></IviString>
    </DataComponents>
  </IviStructure>
</DataComponents>
)" +
             qmdc_test::VirtualNames(
                 {{"Out", "CH1"}, {"Main", "OutputChannel!!CH1"}, {"Rng", "CH", {{1, 2, 1}}}}) +
             R"(
<Cache>true</Cache><InterchangeCheck>false</InterchangeCheck>
<QueryInstrStatus>true</QueryInstrStatus><RangeCheck>true</RangeCheck>
<RecordCoercions>false</RecordCoercions><Simulate>true</Simulate>
<DriverSetup>Model:Rack 30-70 QM</DriverSetup>)",
         kNothingListens},
        {"Real", "RealSession", "<Simulate>false</Simulate>", kNothingListens},
    });
    return store;
}

}  // namespace qmdc_fuzz
