// wake_signal.cpp - an eventfd on Linux, a self-pipe elsewhere.
#include "wake_signal.h"

#include <unistd.h>

#include <cstdint>

#ifdef __linux__
#include <sys/eventfd.h>
#endif

#include "descriptor.h"

namespace qmdc::visa {

WakeSignal::WakeSignal() {
#ifdef __linux__
    readFd_ = writeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
#else
    int fds[2];
    if (::pipe(fds) != 0) return;
    for (int fd : fds) makeNonBlocking(fd);
    readFd_ = fds[0];
    writeFd_ = fds[1];
#endif
}

WakeSignal::~WakeSignal() {
    if (readFd_ >= 0) ::close(readFd_);
    if (writeFd_ >= 0 && writeFd_ != readFd_) ::close(writeFd_);
}

void WakeSignal::raise() {
    // Nothing but lower() reads the signal, so it stays readable. A write that
    // fails because the counter or the pipe is full changes nothing: the
    // signal is raised already.
    const std::uint64_t one = 1;
    (void)!::write(writeFd_, &one, sizeof one);
}

void WakeSignal::lower() {
    // Empties the counter (or the pipe); a read that finds nothing is fine.
    std::uint64_t drained[16];
    while (::read(readFd_, drained, sizeof drained) > 0) {
    }
}

}  // namespace qmdc::visa
