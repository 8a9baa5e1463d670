// Ctrl-C for the commands that run for a while (measure, sweep, log, panel):
// while an InterruptScope lives, SIGINT only raises a flag, so that the
// command can finish its step, leave the supply safe and say what it did.
#pragma once

#include <csignal>

namespace qmdc::cli {

class InterruptScope {
  public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    static bool Requested();

  private:
    struct sigaction previous_ {};
};

// Sleeps, waking early when Ctrl-C is pressed; returns false then.
bool SleepUnlessInterrupted(double seconds);

}  // namespace qmdc::cli
