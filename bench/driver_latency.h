// The driver's QmDC_error_query timed on a resource: one query and its answer
// through the whole driver, the same on every transport.
#pragma once

#include <string>

#include "QmDC.h"
#include "latency.h"

namespace qmdc_bench {

inline void MedianErrorQuery(benchmark::State& state, const std::string& resource) {
    ViSession vi = VI_NULL;
    if (QmDC_InitWithOptions(const_cast<ViChar*>(resource.c_str()), VI_FALSE, VI_FALSE, "", &vi) <
        0) {
        state.SkipWithError("cannot open the emulator");
        return;
    }
    ViInt32 code = 0;
    ViChar message[256];
    MedianPerCall(state, 1, [&] { return QmDC_error_query(vi, &code, message) == VI_SUCCESS; });
    QmDC_close(vi);
}

}  // namespace qmdc_bench
