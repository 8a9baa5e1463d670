// service_request_watch.h - the thread that watches an instrument for service
// requests (HiSLIP's asynchronous channel, the VXI-11 interrupt channel, the
// USBTMC interrupt endpoint), with the wake signal that ends its waits: one
// start, one stop, one failure status for the three.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "visa.h"
#include "wake_signal.h"

namespace qmdc::visa {

class ServiceRequestWatch {
  public:
    // Runs on the watch's thread and returns once `wake` is raised (or it has
    // nothing more to watch). What it throws ends the watch, nothing more.
    using Body = std::function<void(WakeSignal& wake)>;

    ServiceRequestWatch() = default;
    ~ServiceRequestWatch() { stop(); }
    ServiceRequestWatch(const ServiceRequestWatch&) = delete;
    ServiceRequestWatch& operator=(const ServiceRequestWatch&) = delete;

    // Starts `body` on a thread of its own with a fresh wake signal (so that
    // a raise meant for an earlier watch does not end this one):
    // VI_SUCCESS, or VI_ERROR_ALLOC when no signal or no thread can be had.
    // Not while a watch runs.
    ViStatus start(Body body);
    // Raises the running watch's signal; safe from any thread at any time.
    void wake();
    // Raises the signal and waits for the thread (and what its body is doing).
    void stop();
    bool running() const { return thread_.joinable(); }

  private:
    std::mutex mutex_;  // wake() comes from other threads than start and stop
    std::unique_ptr<WakeSignal> wake_;
    std::thread thread_;
};

}  // namespace qmdc::visa
