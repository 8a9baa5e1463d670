// The text of a small configuration store for a test: the driver registered
// (software module "QmDC", physical name "CH1" of OutputChannel) and driver
// sessions, each named by a logical name of its own.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qmdc_test {

struct StoreSession {
    std::string logicalName;
    std::string sessionName;
    std::string body;      // inside the driver session: options, virtual names, initial settings
    std::string resource;  // the resource of a hardware asset of its own; none when empty
};

inline std::string StoreXml(const std::vector<StoreSession>& sessions) {
    std::string assets, drivers, logical;
    for (size_t i = 0; i < sessions.size(); ++i) {
        const StoreSession& session = sessions[i];
        const std::string n = std::to_string(i);
        std::string assetRef;
        if (!session.resource.empty()) {
            assets += "    <IviHardwareAsset id=\"h" + n + "\"><Name>" + session.sessionName +
                      "Asset</Name>\n      <IOResourceDescriptor>" + session.resource +
                      "</IOResourceDescriptor>\n    </IviHardwareAsset>\n";
            assetRef = "<IviHardwareAsset idref=\"h" + n + "\"/>";
        }
        drivers += "    <IviDriverSession id=\"s" + n + "\"><Name>" + session.sessionName +
                   "</Name>\n      " + assetRef + "<IviSoftwareModuleRef idref=\"m\"/>\n" +
                   session.body + "\n    </IviDriverSession>\n";
        logical += "    <IviLogicalName id=\"l" + n + "\"><Name>" + session.logicalName +
                   "</Name><IviDriverSession idref=\"s" + n + "\"/></IviLogicalName>\n";
    }
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore>
  <Name>IVI Configuration Server</Name>
  <SoftwareModules>
    <IviSoftwareModule id="m"><Name>QmDC</Name><Prefix>QmDC</Prefix>
      <PhysicalNames>
        <IviPhysicalName><Name>CH1</Name><RCName>OutputChannel</RCName></IviPhysicalName>
      </PhysicalNames>
    </IviSoftwareModule>
  </SoftwareModules>
  <HardwareAssets>
)" + assets +
           R"(  </HardwareAssets>
  <DriverSessions>
)" + drivers +
           R"(  </DriverSessions>
  <LogicalNames>
)" + logical +
           R"(  </LogicalNames>
</IviConfigStore>
)";
}

// A store of one driver session.
inline std::string StoreXml(const std::string& logicalName, const std::string& sessionName,
                            const std::string& body, const std::string& resource = "") {
    return StoreXml({{logicalName, sessionName, body, resource}});
}

// <VirtualNames> of names mapped to selectors without ranges, and what more is given.
inline std::string VirtualNames(const std::vector<std::pair<std::string, std::string>>& names,
                                const std::string& more = "") {
    std::string xml = "<VirtualNames>\n";
    for (const auto& [name, mapTo] : names)
        xml += "  <IviVirtualName><Name>" + name + "</Name><MapTo>" + mapTo +
               "</MapTo></IviVirtualName>\n";
    return xml + more + "</VirtualNames>";
}

}  // namespace qmdc_test
