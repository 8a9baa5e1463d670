// wake_signal.h - a descriptor that poll() sees readable once it is raised.
#pragma once

namespace qmdc::visa {

// Polled beside a device so that another thread can end every wait on it,
// those in progress and those to come: raised once, it stays raised until
// lowered.
class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when no descriptor could be had (the process ran out of them).
    bool ok() const { return readFd_ >= 0; }
    int fd() const { return readFd_; }
    // Safe from any thread, at any time, any number of times.
    void raise();
    // Makes the signal unseen again, for one that only asks a waiting
    // thread to look up (a watch's turn); never needed by those that end a
    // session.
    void lower();

  private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

}  // namespace qmdc::visa
