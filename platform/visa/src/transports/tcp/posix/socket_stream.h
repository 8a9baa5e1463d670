// socket_stream.h - the byte stream under a TCP socket on POSIX systems: the
// descriptor transport in its socket mode (recv/send, a peer's close read as
// a lost connection).
#pragma once

#include "fd_transport.h"

namespace qmdc::visa {

class SocketStream : public FdTransport {
  protected:
    explicit SocketStream(int fd) noexcept : FdTransport(fd, true) {}
};

}  // namespace qmdc::visa
