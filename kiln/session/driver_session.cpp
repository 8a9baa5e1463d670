#include "driver_session.h"

#include "driver_definition.h"

namespace kiln {

DriverSession::DriverSession(ViSession handle, int openTimeoutMs, int selfTestTimeoutMs,
                             int resetTimeoutMs, bool supportsInterchangeCheck, int spareTimeoutMs)
    : handle(handle),
      openTimeoutMs(openTimeoutMs),
      selfTestTimeoutMs(selfTestTimeoutMs),
      resetTimeoutMs(resetTimeoutMs),
      supportsInterchangeCheck(supportsInterchangeCheck),
      spareTimeoutMs(spareTimeoutMs) {}

ViStatus DriverSession::Close() {
    return CloseIo();
}
ViSession DriverSession::GetHandle() const {
    return handle;
}

bool DriverSession::GetCache() const {
    return currentOptions.cache;
}
bool DriverSession::GetInterchangeCheck() const {
    return currentOptions.interchangeCheck;
}
bool DriverSession::GetQueryInstrStatus() const {
    return currentOptions.queryInstrStatus;
}
bool DriverSession::GetRangeCheck() const {
    return currentOptions.rangeCheck;
}
bool DriverSession::GetRecordCoercions() const {
    return currentOptions.recordCoercions;
}
bool DriverSession::GetSimulate() const {
    return currentOptions.simulate;
}
bool DriverSession::GetInitialCache() const {
    return initialOptions.cache;
}
bool DriverSession::GetInitialInterchangeCheck() const {
    return initialOptions.interchangeCheck;
}
bool DriverSession::GetInitialQueryInstrStatus() const {
    return initialOptions.queryInstrStatus;
}
bool DriverSession::GetInitialRangeCheck() const {
    return initialOptions.rangeCheck;
}
bool DriverSession::GetInitialRecordCoercions() const {
    return initialOptions.recordCoercions;
}
bool DriverSession::GetInitialSimulate() const {
    return initialOptions.simulate;
}
void DriverSession::SetCache(bool value) {
    currentOptions.cache = value;
}
void DriverSession::SetInterchangeCheck(bool value) {
    currentOptions.interchangeCheck = value;
}
void DriverSession::SetQueryInstrStatus(bool value) {
    currentOptions.queryInstrStatus = value;
}
void DriverSession::SetRangeCheck(bool value) {
    currentOptions.rangeCheck = value;
}
void DriverSession::SetRecordCoercions(bool value) {
    currentOptions.recordCoercions = value;
}
void DriverSession::SetSimulate(bool value) {
    currentOptions.simulate = value;
}

const std::string& DriverSession::GetOptionString() const {
    return optionString;
}
const std::string& DriverSession::GetResourceName() const {
    return resourceName;
}
const std::string& DriverSession::GetLogicalName() const {
    return logicalName;
}
const std::string& DriverSession::GetIoResourceDescriptor() const {
    return ioResourceDescriptor;
}
const std::string& DriverSession::GetDriverSetup() const {
    return driverSetup;
}
const std::string& DriverSession::GetInstrumentManufacturer() const {
    return instrumentManufacturer;
}
const std::string& DriverSession::GetInstrumentModel() const {
    return instrumentModel;
}
const std::string& DriverSession::GetInstrumentSerialNumber() const {
    return instrumentSerialNumber;
}
const std::string& DriverSession::GetInstrumentFirmwareRevision() const {
    return instrumentFirmwareRevision;
}
int DriverSession::GetOpenTimeout() const {
    return openTimeoutMs;
}
int DriverSession::GetSelfTestTimeout() const {
    return selfTestTimeoutMs;
}
int DriverSession::GetResetTimeout() const {
    return resetTimeoutMs;
}
bool DriverSession::SupportsInterchangeCheck() const {
    return supportsInterchangeCheck;
}
int DriverSession::GetSpareTimeout() const {
    return spareTimeoutMs;
}

namespace {
template <class Map, class Value>
bool FindIn(const Map& map, const std::string& name, Value& value) {
    auto it = map.find(name);
    if (it == map.end()) return false;
    value = it->second;
    return true;
}
}  // namespace

bool DriverSession::FindDriverSetupValue(const std::string& name, std::string& value) const {
    return FindIn(driverSetupOptions, name, value);
}
bool DriverSession::FindInitialSettingBoolean(const std::string& name, bool& value) const {
    return FindIn(initialSettingsBoolean, name, value);
}
bool DriverSession::FindInitialSettingInt32(const std::string& name, ViInt32& value) const {
    return FindIn(initialSettingsInt32, name, value);
}
bool DriverSession::FindInitialSettingReal64(const std::string& name, ViReal64& value) const {
    return FindIn(initialSettingsReal64, name, value);
}
bool DriverSession::FindInitialSettingString(const std::string& name, std::string& value) const {
    return FindIn(initialSettingsString, name, value);
}
CaseInsensitiveMap<bool>& DriverSession::InitialSettingsBoolean() {
    return initialSettingsBoolean;
}
CaseInsensitiveMap<ViInt32>& DriverSession::InitialSettingsInt32() {
    return initialSettingsInt32;
}
CaseInsensitiveMap<ViReal64>& DriverSession::InitialSettingsReal64() {
    return initialSettingsReal64;
}
CaseInsensitiveMap<std::string>& DriverSession::InitialSettingsString() {
    return initialSettingsString;
}
CaseInsensitiveMap<std::string>& DriverSession::InherentOptionsSeen() {
    return inherentOptionsSeen;
}
CaseInsensitiveMap<std::string>& DriverSession::DriverSetupOptions() {
    return driverSetupOptions;
}
CaseInsensitiveMap<std::string>& DriverSession::VirtualNameTable() {
    return virtualNames;
}

std::string DriverSession::MapVirtualName(const std::string& name) const {
    auto it = virtualNames.find(name);
    std::string mapped = it == virtualNames.end() ? name : it->second;
    // A qualified name ("OutputChannel!!CH1") reduces to its last part.
    const auto separator = mapped.find("!!");
    if (separator != std::string::npos) mapped.erase(0, separator + 2);
    return mapped;
}

std::string DriverSession::MapVirtualNameTarget(const std::string& name) const {
    auto it = virtualNameTargets.find(name);
    return it == virtualNameTargets.end() ? name : it->second;
}

bool DriverSession::IsModelSupported() const {
    return RegisteredDriver().supportedModels().count(instrumentModel) != 0;
}

bool DriverSession::IsCurrentModelInFamily(const std::string& family) const {
    return IsModelInFamily(instrumentModel, family);
}

bool DriverSession::IsModel(const std::string& name) const {
    return instrumentModel == name;
}

bool DriverSession::IsModelInFamily(const std::string& model, const std::string& family) const {
    const auto& models = RegisteredDriver().supportedModels();
    auto it = models.find(model);
    return it != models.end() && it->second == family;
}

ViStatus DriverSession::ResetInherentOptions() {
    currentOptions = initialOptions;
    return VI_SUCCESS;
}

ViStatus DriverSession::ReportError(ViStatus code, ErrorArgs args) {
    return kiln::ReportError(handle, code, args);
}

ViStatus DriverSession::ReportErrorWithText(ViStatus code, const std::string& additionalText,
                                            ErrorArgs args) {
    return kiln::ReportErrorWithText(handle, code, additionalText, args);
}

void DriverSession::InvalidateAllAttributes() {
    attributeCache.Clear();
}

void DriverSession::SetInitArguments(const std::string& resource, bool idQueryArgument,
                                     bool resetArgument, const std::string& options) {
    resourceName = resource;
    idQuery = idQueryArgument;
    resetOnInit = resetArgument;
    optionString = options;
}

}  // namespace kiln
