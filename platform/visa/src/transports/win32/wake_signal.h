// wake_signal.h - an event that a socket stream's wait sees once it is raised.
#pragma once

#include <winsock2.h>

namespace qmdc::visa {

// Waited on beside a socket so that another thread can end a wait on it:
// raised, it stays raised until lowered.
class WakeSignal {
  public:
    WakeSignal() : event_(::WSACreateEvent()) {}
    ~WakeSignal() {
        if (ok()) ::WSACloseEvent(event_);
    }
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when no event could be had.
    bool ok() const { return event_ != WSA_INVALID_EVENT; }
    WSAEVENT event() const { return event_; }
    // Safe from any thread, at any time, any number of times.
    void raise() { ::WSASetEvent(event_); }
    void lower() { ::WSAResetEvent(event_); }

  private:
    const WSAEVENT event_;  // manual reset
};

}  // namespace qmdc::visa
