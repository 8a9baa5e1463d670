// Helpers of the driver tests: sessions opened through the public functions,
// and the error information they leave.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "QmDC.h"

namespace qmdc_test {

inline std::string ErrorDescription(ViSession vi, ViStatus* code = nullptr) {
    ViChar text[2048] = {};
    ViStatus stored = 0;
    QmDC_GetError(vi, &stored, sizeof text, text);
    if (code) *code = stored;
    return text;
}

inline ViStatus ErrorCode(ViSession vi) {
    ViStatus code = 0;
    ErrorDescription(vi, &code);
    return code;
}

// A session that closes itself at the end of the test.
class Session {
  public:
    Session() = default;
    explicit Session(const std::string& resource, const std::string& options = "",
                     ViBoolean idQuery = VI_TRUE, ViBoolean reset = VI_FALSE) {
        status_ = QmDC_InitWithOptions(const_cast<ViChar*>(resource.c_str()), idQuery, reset,
                                       options.c_str(), &vi_);
    }
    ~Session() {
        if (vi_ != VI_NULL) QmDC_close(vi_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ViSession vi() const { return vi_; }
    ViStatus status() const { return status_; }
    ViSession Release() {
        ViSession vi = vi_;
        vi_ = VI_NULL;
        return vi;
    }

  private:
    ViSession vi_ = VI_NULL;
    ViStatus status_ = VI_SUCCESS;
};

// A plain resource name for simulated sessions.
inline constexpr const char* kSimulatedResource = "TCPIP0::sim::5025::SOCKET";

// A simulated session on a plain resource name.
inline std::unique_ptr<Session> Simulated(const std::string& options = "Simulate=1") {
    auto session = std::make_unique<Session>(kSimulatedResource, options);
    EXPECT_EQ(session->status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    return session;
}

}  // namespace qmdc_test
