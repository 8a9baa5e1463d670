// vxi11_interrupt_channel.h - the client's end of a VXI-11 interrupt
// channel: a listening socket the instrument connects to (it is told the
// address with create_intr_chan), and a thread of its own that takes the
// instrument's device_intr_srq calls and passes each service request on.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "service_request_watch.h"
#include "visa.h"

namespace qmdc::visa {

class InterruptChannel {
  public:
    using Sink = std::function<void()>;

    // Listens on `address` (IPv4, network order) at a port the system picks;
    // null with *status VI_ERROR_ALLOC or VI_ERROR_SYSTEM_ERROR when it cannot.
    static std::unique_ptr<InterruptChannel> listen(in_addr_t address, ViStatus* status);
    // Stops the watch.
    ~InterruptChannel();
    InterruptChannel(const InterruptChannel&) = delete;
    InterruptChannel& operator=(const InterruptChannel&) = delete;

    uint16_t port() const { return port_; }

    // Starts the thread: each device_intr_srq call that carries `handle`
    // calls `raised` on it. Other calls are answered and raise nothing; a
    // caller that sends what is no RPC call, or never reads the replies, is
    // dropped. VI_ERROR_ALLOC when the thread cannot be started.
    ViStatus start(std::string handle, Sink raised);
    // Ends the watch soon; safe from any thread, at any time.
    void wake() { watch_.wake(); }
    // Ends the watch and waits for the thread (and a `raised` in progress).
    void stop();

  private:
    explicit InterruptChannel(int listener, uint16_t port) : listener_(listener), port_(port) {}
    struct Caller;
    void watch(const WakeSignal& wake);

    const int listener_;
    const uint16_t port_;
    std::string handle_;
    Sink raised_;
    ServiceRequestWatch watch_;
};

}  // namespace qmdc::visa
