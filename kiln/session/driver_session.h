// The per-session object behind every driver handle: the VISA connection, the
// inherent option flags, the texts that describe the session, the tables from
// the configuration store and the option string, the attribute caches and the
// coercion queue. Its virtual operations are the seams at which the
// instrument class plugs in; their order is the order of the virtual table.
#pragma once

#include <array>
#include <deque>
#include <string>

#include "case_insensitive.h"
#include "error_report.h"
#include "../attributes/attribute_cache.h"
#include "../io/visa_session.h"
#include "../repcap/physical_names.h"

namespace kiln {

// The six IVI inherent options, in their fixed order.
struct InherentOptions {
    bool cache = true;
    bool interchangeCheck = false;
    bool queryInstrStatus = false;
    bool rangeCheck = true;
    bool recordCoercions = false;
    bool simulate = false;

    // The flags in their fixed order, for code that walks all six.
    std::array<bool*, 6> InOrder() {
        return {&cache,      &interchangeCheck, &queryInstrStatus,
                &rangeCheck, &recordCoercions,  &simulate};
    }
};

class DriverSession : public VisaSession<DriverSession> {
  public:
    DriverSession(ViSession handle, int openTimeoutMs, int selfTestTimeoutMs, int resetTimeoutMs,
                  bool supportsInterchangeCheck, int spareTimeoutMs);
    ~DriverSession() override = default;
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // The five I/O operations come first (IoSession); then these.
    virtual ViStatus Close();
    virtual ViSession GetHandle() const;

    virtual bool GetCache() const;
    virtual bool GetInterchangeCheck() const;
    virtual bool GetQueryInstrStatus() const;
    virtual bool GetRangeCheck() const;
    virtual bool GetRecordCoercions() const;
    virtual bool GetSimulate() const;
    virtual bool GetInitialCache() const;
    virtual bool GetInitialInterchangeCheck() const;
    virtual bool GetInitialQueryInstrStatus() const;
    virtual bool GetInitialRangeCheck() const;
    virtual bool GetInitialRecordCoercions() const;
    virtual bool GetInitialSimulate() const;
    virtual void SetCache(bool value);
    virtual void SetInterchangeCheck(bool value);
    virtual void SetQueryInstrStatus(bool value);
    virtual void SetRangeCheck(bool value);
    virtual void SetRecordCoercions(bool value);
    virtual void SetSimulate(bool value);

    virtual const std::string& GetOptionString() const;
    virtual const std::string& GetResourceName() const;
    virtual const std::string& GetLogicalName() const;
    virtual const std::string& GetIoResourceDescriptor() const;
    virtual const std::string& GetDriverSetup() const;
    virtual const std::string& GetInstrumentManufacturer() const;
    virtual const std::string& GetInstrumentModel() const;
    virtual const std::string& GetInstrumentSerialNumber() const;
    virtual const std::string& GetInstrumentFirmwareRevision() const;
    virtual int GetOpenTimeout() const;
    virtual int GetSelfTestTimeout() const;
    virtual int GetResetTimeout() const;
    virtual bool SupportsInterchangeCheck() const;
    virtual int GetSpareTimeout() const;

    virtual bool FindDriverSetupValue(const std::string& name, std::string& value) const;
    virtual bool FindInitialSettingBoolean(const std::string& name, bool& value) const;
    virtual bool FindInitialSettingInt32(const std::string& name, ViInt32& value) const;
    virtual bool FindInitialSettingReal64(const std::string& name, ViReal64& value) const;
    virtual bool FindInitialSettingString(const std::string& name, std::string& value) const;
    virtual CaseInsensitiveMap<bool>& InitialSettingsBoolean();
    virtual CaseInsensitiveMap<ViInt32>& InitialSettingsInt32();
    virtual CaseInsensitiveMap<ViReal64>& InitialSettingsReal64();
    virtual CaseInsensitiveMap<std::string>& InitialSettingsString();
    virtual CaseInsensitiveMap<std::string>& InherentOptionsSeen();
    virtual CaseInsensitiveMap<std::string>& DriverSetupOptions();
    virtual CaseInsensitiveMap<std::string>& VirtualNameTable();
    virtual std::string MapVirtualName(const std::string& name) const;
    virtual std::string MapVirtualNameTarget(const std::string& name) const;

    virtual bool IsModelSupported() const;
    virtual bool IsCurrentModelInFamily(const std::string& family) const;
    virtual bool IsModel(const std::string& name) const;
    virtual bool IsModelInFamily(const std::string& model, const std::string& family) const;

    virtual ViStatus ResetInherentOptions();
    virtual ViStatus ReportError(ViStatus code, ErrorArgs args = {});
    virtual ViStatus ReportErrorWithText(ViStatus code, const std::string& additionalText,
                                         ErrorArgs args = {});
    virtual ViStatus ReportConfigError(ViStatus code);
    virtual void InvalidateAllAttributes();

    virtual ViStatus ResolveSession(const std::string& resourceName,
                                    const std::string& optionString);
    virtual ViStatus ApplyConfigDriverSession(void* driverSessionHandle);
    virtual ViStatus ApplyConfigInitialSettings(void* componentHandle);
    virtual ViStatus ApplyModelSetting();
    virtual ViStatus ApplyOptionString(const std::string& optionString);
    virtual ViStatus ParseDriverSetup(const std::string& driverSetup);
    virtual ViStatus ApplyDriverSetupOption(const std::string& name, const std::string& value);
    virtual ViStatus ParseInherentOptions(const std::string& text);
    virtual ViStatus ParseBooleanOptionValue(const std::string& name, const std::string& value,
                                             bool& flag);
    virtual ViStatus ApplyConfigVirtualNames(void* driverSessionHandle);
    virtual ViStatus ApplyConfigPhysicalNames(void* softwareModuleHandle);

    // Non-virtual access used by init and the utility operations.
    void SetInitArguments(const std::string& resourceName, bool idQuery, bool resetOnInit,
                          const std::string& optionString);
    bool IdQueryRequested() const { return idQuery; }
    bool ResetOnInitRequested() const { return resetOnInit; }
    std::string& InstrumentManufacturer() { return instrumentManufacturer; }
    std::string& InstrumentModel() { return instrumentModel; }
    std::string& InstrumentSerialNumber() { return instrumentSerialNumber; }
    std::string& InstrumentFirmwareRevision() { return instrumentFirmwareRevision; }
    CaseInsensitiveMap<std::string>& PhysicalNameTable() { return physicalNames; }
    CaseInsensitiveMap<std::string>& VirtualNameTargetTable() { return virtualNameTargets; }
    AttributeCache& Cache() { return attributeCache; }
    std::deque<std::string>& CoercionQueue() { return coercionQueue; }
    // The session's reference to its physical-name table (see physical_names.h).
    kiln::PhysicalNameTable& PhysicalNameTableReference() { return physicalNameTable; }

  protected:
    ViSession handle;
    bool idQuery = false;
    bool resetOnInit = false;
    InherentOptions currentOptions;
    InherentOptions initialOptions;
    int openTimeoutMs;
    int selfTestTimeoutMs;
    int resetTimeoutMs;
    bool supportsInterchangeCheck;
    int spareTimeoutMs;
    std::string optionString;
    std::string resourceName;
    std::string logicalName;
    std::string ioResourceDescriptor;
    std::string driverSetup;
    std::string instrumentManufacturer;
    std::string instrumentModel;
    std::string instrumentSerialNumber;
    std::string instrumentFirmwareRevision;
    CaseInsensitiveMap<std::string> inherentOptionsSeen;
    CaseInsensitiveMap<std::string> driverSetupOptions;
    CaseInsensitiveMap<bool> initialSettingsBoolean;
    CaseInsensitiveMap<ViInt32> initialSettingsInt32;
    CaseInsensitiveMap<ViReal64> initialSettingsReal64;
    CaseInsensitiveMap<std::string> initialSettingsString;
    CaseInsensitiveMap<std::string> virtualNames;        // virtual name -> physical name
    CaseInsensitiveMap<std::string> virtualNameTargets;  // physical name -> virtual name
    CaseInsensitiveMap<std::string> physicalNames;
    AttributeCache attributeCache;
    std::deque<std::string> coercionQueue;
    kiln::PhysicalNameTable physicalNameTable;

    friend class VisaSession<DriverSession>;
};

}  // namespace kiln
