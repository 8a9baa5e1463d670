// deadline.h - the moment at which a blocking VISA call gives up.
#pragma once

#include <chrono>
#include <climits>

#include "visatype.h"

namespace qmdc::visa {

// How long past its timeout a call on a LAN instrument (VXI-11, HiSLIP) may
// still run, whatever the instrument sends or leaves unsent: the
// instrument's own answer that its time ran out is awaited this long, an
// abort is sent within it, and a peer that keeps sending is cut off by its
// end. So every such call returns by its timeout plus this.
constexpr ViUInt32 kTimeoutGraceMs = 250;

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
    // This deadline moved `ms` later (the same moment for every use, so that
    // a grace is given once per call, never renewed per request).
    Deadline later(ViUInt32 ms) const {
        Deadline d = *this;
        d.at_ += std::chrono::milliseconds(ms);
        return d;
    }
    // The deadline and the grace: the last moment a LAN call may run.
    Deadline graced() const { return later(kTimeoutGraceMs); }
    // For waits on a condition variable.
    bool infinite() const { return infinite_; }
    std::chrono::steady_clock::time_point at() const { return at_; }

  private:
    using Clock = std::chrono::steady_clock;
    bool infinite_ = false;
    Clock::time_point at_{};
};

}  // namespace qmdc::visa
