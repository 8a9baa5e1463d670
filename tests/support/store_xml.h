// The text of a small configuration store for a test: the driver registered
// (software module "QmDC", physical name "CH1" of OutputChannel) and driver
// sessions, each named by a logical name of its own.
#pragma once

#include <string>
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

// A virtual name maps to mapTo; with ranges, mapTo is the base that each
// range's indexes are added to ("Out" 1-3 starting at 0: "Out1" -> "CH0").
struct VirtualRange {
    long long min, max, start = 0;
};
struct VirtualName {
    std::string name;
    std::string mapTo;
    std::vector<VirtualRange> ranges = {};
};

// A driver session's <VirtualNames>.
inline std::string VirtualNames(const std::vector<VirtualName>& names) {
    std::string xml = "<VirtualNames>\n";
    for (const VirtualName& name : names) {
        xml += "  <IviVirtualName><Name>" + name.name + "</Name><MapTo>" + name.mapTo + "</MapTo>";
        if (!name.ranges.empty()) {
            xml += "<VirtualRanges>";
            for (const VirtualRange& range : name.ranges)
                xml += "<IviVirtualRange><Name>r</Name><Min>" + std::to_string(range.min) +
                       "</Min><Max>" + std::to_string(range.max) + "</Max><StartingPhysicalIndex>" +
                       std::to_string(range.start) + "</StartingPhysicalIndex></IviVirtualRange>";
            xml += "</VirtualRanges>";
        }
        xml += "</IviVirtualName>\n";
    }
    return xml + "</VirtualNames>";
}

}  // namespace qmdc_test
