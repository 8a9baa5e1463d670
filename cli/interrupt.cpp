#include "interrupt.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>

namespace qmdc::cli {
namespace {

volatile std::sig_atomic_t g_requested = 0;

extern "C" void OnInterrupt(int) {
    g_requested = 1;
}

}  // namespace

InterruptScope::InterruptScope() {
    g_requested = 0;
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
    return g_requested != 0;
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
