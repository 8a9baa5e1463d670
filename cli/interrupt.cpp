#include "interrupt.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>

namespace qmdc::cli {
namespace {

// Read by the threads of the commands that have some (log, panel): an atomic
// that needs no lock, so that the signal handler may set it.
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void OnInterrupt(int) {
    g_requested = true;
}

}  // namespace

InterruptScope::InterruptScope() {
    g_requested = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads from the instrument go on after the signal: the step in progress ends normally.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previous_);
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptScope::Requested() {
    return g_requested;
}

bool SleepUnlessInterrupted(double seconds) {
    if (seconds > 0.0) {
        const double whole = std::floor(seconds);
        timespec left{static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
        // nanosleep returns early on a signal, whatever SA_RESTART says.
        while (!InterruptScope::Requested() && nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
    return !InterruptScope::Requested();
}

}  // namespace qmdc::cli
