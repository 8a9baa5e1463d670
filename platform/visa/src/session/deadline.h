// deadline.h - the moment at which a blocking VISA call gives up.
#pragma once

#include <chrono>
#include <climits>

#include "visatype.h"

namespace qmdc::visa {

// Built from a VISA timeout in milliseconds on the monotonic clock, so a
// change of the wall clock neither shortens nor stretches a wait.
class Deadline {
  public:
    static Deadline after(ViUInt32 timeoutMs) {
        Deadline d;
        d.infinite_ = timeoutMs == 0xFFFFFFFFu;
        if (!d.infinite_) d.at_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
        return d;
    }

    // Milliseconds left for poll(): rounded up so that a wait never ends
    // before the deadline, 0 once it has passed, -1 for no limit.
    int remainingMs() const {
        if (infinite_) return -1;
        const auto left = at_ - Clock::now();
        if (left <= Clock::duration::zero()) return 0;
        const long long us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
        const long long ms = (us + 999) / 1000;
        return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    }

    // What is left as a VISA timeout, for a device or protocol that takes
    // one: rounded up as above, VI_TMO_INFINITE (0xFFFFFFFF) for no limit.
    ViUInt32 remainingVisaMs() const {
        const int left = remainingMs();
        return left < 0 ? 0xFFFFFFFFu : static_cast<ViUInt32>(left);
    }

    bool expired() const { return !infinite_ && Clock::now() >= at_; }
    // For waits on a condition variable.
    bool infinite() const { return infinite_; }
    std::chrono::steady_clock::time_point at() const { return at_; }

  private:
    using Clock = std::chrono::steady_clock;
    bool infinite_ = false;
    Clock::time_point at_{};
};

}  // namespace qmdc::visa
