// adopt_handle.h - handing an open descriptor or socket to its transport.
#pragma once

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

#include "open_failure.h"
#include "visatype.h"

namespace qmdc::visa {

// Makes the transport `T` that owns `handle` (closed with `close` if the
// transport cannot be made); null with *status VI_ERROR_ALLOC when the
// transport cannot be used (no wake signal to be had: out of descriptors).
template <class T, class Handle, class Close, class... Args>
std::unique_ptr<T> adoptHandle(Handle handle, Close close, ViStatus* status, Args&&... args) {
    std::unique_ptr<T> transport;
    try {
        transport = std::make_unique<T>(handle, std::forward<Args>(args)...);
    } catch (...) {
        close(handle);  // the transport never took it
        throw;
    }
    if (!transport->ready()) {
        *status = VI_ERROR_ALLOC;
        noteOpenFailure(std::generic_category().message(errno) +
                        ": the session's wake-up signal could not be made.");
        return nullptr;
    }
    return transport;
}

}  // namespace qmdc::visa
