// fd_transport.h - a transport over one non-blocking POSIX descriptor.
#pragma once

#include <unistd.h>

#include <atomic>
#include "transport.h"
#include "wake_signal.h"

namespace qmdc::visa {

// Every wait is a poll() bounded by the deadline, or on a socket a receive
// bounded by its receive timeout, set within the deadline; nothing else
// blocks, so a timeout is always honoured. The poll also watches a wake
// signal, which interrupt() raises (and on a socket interrupt() shuts the
// connection, which ends a receive), so that viClose ends a wait at once
// even with an infinite timeout.
class FdTransport : public Transport {
  public:
    ~FdTransport() override;
    FdTransport(const FdTransport&) = delete;
    FdTransport& operator=(const FdTransport&) = delete;

    // False when the wake signal could not be set up; such a transport must
    // not be used (its opener reports VI_ERROR_ALLOC).
    bool ready() const { return wake_.ok(); }

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    // Waits, with no limit, until input is there or `also` is raised, without
    // taking either: VI_SUCCESS, or VI_ERROR_CONN_LOST once interrupted.
    ViStatus awaitInputOr(const WakeSignal& also);
    void discardInput() override;
    void interrupt() override;
    // Makes every write first ask whether the peer has closed. Only a raw
    // socket session needs it: its peer's close would otherwise pass the next
    // command unnoticed, while a protocol that reads an answer after each
    // write, or a line whose hang-up fails the write, learns of it anyway.
    void checkPeerBeforeWrites() { checkPeer_ = true; }
    void answerReadNext(bool yes) override { answerReadNext_ = yes; }

  protected:
    FdTransport(int fd, bool isSocket);
    const int fd_;

  private:
    // Waits for `events`, or for `also` to be raised when given: VI_SUCCESS
    // with the returned events (none when only `also` was raised),
    // VI_ERROR_TMO, or VI_ERROR_CONN_LOST once interrupted.
    ViStatus wait(short events, const Deadline& deadline, short* revents,
                  const WakeSignal* also = nullptr);
    // The line hung up, or (socket) the peer has closed its side.
    bool hungUp();
    // Sets the socket's receive timeout to end within the deadline; false
    // when none is left or it cannot be set (the read then polls).
    bool armReceiveTimeout(const Deadline& deadline);
    const bool socket_;
    bool checkPeer_ = false;
    bool answerReadNext_ = false;  // the next write is a question, read at once
    bool wroteSinceRead_ = false;  // the next read waits for input first
    int armedMs_ = -1;             // the socket's receive timeout: 0 none, -1 not set
    WakeSignal wake_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace qmdc::visa
