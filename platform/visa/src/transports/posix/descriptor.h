// descriptor.h - what every POSIX transport does alike with a descriptor:
// ready it for poll()-bounded use, and tell a shortage of resources from
// other failures.
#pragma once

#include <fcntl.h>

#include <cerrno>

namespace qmdc::visa {

// Not inherited by child processes, and non-blocking: every wait is a
// poll() bounded by a deadline.
inline void makeNonBlocking(int fd) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// The system ran out of descriptors, buffers or memory (VI_ERROR_ALLOC),
// rather than refusing this one call.
inline bool isResourceShortage(int err) {
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

}  // namespace qmdc::visa
