// fd_transport.h - a transport over one non-blocking POSIX descriptor.
#pragma once

#include "transport.h"

namespace qmdc::visa {

// Every wait is a poll() bounded by the deadline; read() and write() never
// block, so a timeout is always honoured.
class FdTransport : public Transport {
  public:
    ~FdTransport() override;
    FdTransport(const FdTransport&) = delete;
    FdTransport& operator=(const FdTransport&) = delete;

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    void discardInput() override;
    void interrupt() override {}

  protected:
    FdTransport(int fd, bool isSocket) : fd_(fd), socket_(isSocket) {}
    const int fd_;

  private:
    // Waits for `events`; VI_SUCCESS with the returned events, or VI_ERROR_TMO.
    ViStatus wait(short events, const Deadline& deadline, short* revents);
    bool hungUp();
    const bool socket_;
};

}  // namespace qmdc::visa
