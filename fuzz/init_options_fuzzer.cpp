// The resource name and the option string, through QmDC_InitWithOptions.
// Sessions simulate or open a closed loopback port (support/loopback_only.cpp
// stands in for viOpen), so no input reaches another host or a device. A
// session that opens has its text attributes read through guarded buffers.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "QmDC.h"
#include "driver/attribute_table.h"
#include "support/driver_checks.h"
#include "support/fuzz_check.h"
#include "support/store_file.h"

using namespace qmdc_fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteStoreFile(ExampleStore());  // logical names "PSU" and "Real" resolve
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const ViBoolean idQuery = in.ConsumeBool() ? VI_TRUE : VI_FALSE;
    const ViBoolean reset = in.ConsumeBool() ? VI_TRUE : VI_FALSE;
    const bool simulate = in.ConsumeBool();
    const ViInt32 textSize = in.ConsumeIntegralInRange<ViInt32>(-1, 300);
    std::string resource = in.ConsumeRandomLengthString(1024);
    std::string options = in.ConsumeRemainingBytesAsString();
    if (simulate) options += options.empty() ? "Simulate=1" : ",Simulate=1";

    ViSession vi = 0x5A5A;
    const ViStatus status =
        QmDC_InitWithOptions(resource.data(), idQuery, reset, options.c_str(), &vi);
    if (status < 0) {
        CheckFailedInit(status, vi, reset);
        return 0;
    }
    FUZZ_CHECK(vi != VI_NULL, "init succeeded without a handle");
    for (const kiln::AttributeRow& row : qmdc::AttributeTable())
        if (row.type == kiln::ValueType::String) CheckStringAttribute(vi, "", row.id, textSize);
    CheckErrorText(vi, textSize);
    CheckClose(vi);
    return 0;
}
