// service_request_watch.cpp - starting and ending a watch's thread.
#include "service_request_watch.h"

#include <new>
#include <system_error>

namespace qmdc::visa {

ViStatus ServiceRequestWatch::start(Body body) {
    auto wake = std::unique_ptr<WakeSignal>(new (std::nothrow) WakeSignal());
    if (!wake || !wake->ok()) return VI_ERROR_ALLOC;
    WakeSignal& signal = *wake;
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        thread_ = std::thread([body = std::move(body), &signal] {
            try {
                body(signal);
            } catch (...) {
                // Nothing leaves the thread: the watch ends.
            }
        });
    } catch (const std::system_error&) {
        return VI_ERROR_ALLOC;
    } catch (const std::bad_alloc&) {
        return VI_ERROR_ALLOC;
    }
    wake_ = std::move(wake);
    return VI_SUCCESS;
}

void ServiceRequestWatch::wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (wake_) wake_->raise();
}

void ServiceRequestWatch::stop() {
    wake();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.reset();
}

}  // namespace qmdc::visa
