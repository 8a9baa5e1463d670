// A session through the public functions on a scripted instrument (a healthy
// supply whose answers a test changes), telling what each call sent.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver_test_support.h"
#include "fake_instrument.h"

namespace qmdc_test {

// Sent() gives the lines received since the last call of Sent() (init's are
// taken by the constructor), waiting for at least `wait` of them.
class ScriptedSession {
  public:
    explicit ScriptedSession(const std::string& options = "QueryInstrStatus=1")
        : instrument_(answers_.Responder()),
          session_(std::make_unique<Session>(instrument_.Resource(), options)) {
        EXPECT_EQ(session_->status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
        Sent();
    }
    ViSession vi() const { return session_->vi(); }
    ViStatus status() const { return session_->status(); }
    AnswerTable& answers() { return answers_; }
    std::vector<std::string> Sent(size_t wait = 0) {
        const auto received = instrument_.ReceivedAtLeast(seen_ + wait);
        std::vector<std::string> lines(received.begin() + static_cast<long>(seen_), received.end());
        seen_ = received.size();
        return lines;
    }
    // Every line received, init's too.
    std::vector<std::string> Received() const { return instrument_.Received(); }

  private:
    AnswerTable answers_;
    FakeInstrument instrument_;
    std::unique_ptr<Session> session_;
    size_t seen_ = 0;
};

}  // namespace qmdc_test
