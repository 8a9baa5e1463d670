// socket_stream.h - the byte stream under a TCP socket with Winsock.
#pragma once

#include <winsock2.h>

#include <atomic>

#include "transport.h"
#include "wake_signal.h"

namespace qmdc::visa {

// Every wait is a WSAWaitForMultipleEvents bounded by the deadline, on the
// socket's network events and on a wake event that interrupt() sets, so that
// viClose ends a wait at once even with an infinite timeout. The socket is
// non-blocking (WSAEventSelect makes it so): recv and send never block.
class SocketStream : public Transport {
  public:
    ~SocketStream() override;
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    // False when the events could not be set up; such a stream must not be
    // used (its opener reports VI_ERROR_ALLOC).
    bool ready() const { return ready_; }

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    // Waits, with no limit, until input is there or `also` is raised, without
    // taking either: VI_SUCCESS, or VI_ERROR_CONN_LOST once interrupted.
    ViStatus awaitInputOr(const WakeSignal& also);
    void discardInput() override;
    void interrupt() override;
    // Writes here never ask for the peer's close first: nothing to set.
    void checkPeerBeforeWrites() {}

  protected:
    explicit SocketStream(SOCKET s) noexcept;

  private:
    // Waits until the socket reports a network event, or `also` is raised
    // when given: VI_SUCCESS, VI_ERROR_TMO, or VI_ERROR_CONN_LOST once
    // interrupted.
    ViStatus wait(const Deadline& deadline, const WakeSignal* also = nullptr);

    const SOCKET socket_;
    const WSAEVENT network_;
    const WSAEVENT wake_;
    bool ready_ = false;
    std::atomic<bool> interrupted_{false};
};

}  // namespace qmdc::visa
