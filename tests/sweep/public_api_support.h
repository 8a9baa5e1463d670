// Helpers of the tests that use nothing but the public API: the stored
// description of an error, and a simulated session that closes itself.
#pragma once

#include <string>

#include "QmDC.h"

namespace sweep_test {

inline std::string Description(ViSession vi) {
    ViChar text[1024] = {};
    ViStatus code = 0;
    QmDC_GetError(vi, &code, sizeof text, text);
    return text;
}

// On a resource name, or on a logical name of the configuration store.
class Simulated {
  public:
    explicit Simulated(const char* name = "TCPIP0::sim::5025::SOCKET") {
        status_ =
            QmDC_InitWithOptions(const_cast<ViChar*>(name), VI_FALSE, VI_FALSE, "Simulate=1", &vi_);
    }
    ~Simulated() {
        if (vi_ != VI_NULL) QmDC_close(vi_);
    }
    Simulated(const Simulated&) = delete;
    Simulated& operator=(const Simulated&) = delete;

    ViSession vi() const { return vi_; }
    ViStatus status() const { return status_; }

  private:
    ViSession vi_ = VI_NULL;
    ViStatus status_ = VI_SUCCESS;
};

}  // namespace sweep_test
