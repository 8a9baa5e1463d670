// lock_holders.h - how many processes hold a lock on a resource, in a word
// every process maps from the resource's lock file. A call that touches the
// instrument reads it with one atomic load and asks the kernel about the
// byte-range locks (the truth) only when it is not 0.
#pragma once

#include <cstdint>

namespace qmdc::visa {

class LockHolders {
  public:
    LockHolders() = default;
    ~LockHolders() { detach(); }
    LockHolders(const LockHolders&) = delete;
    LockHolders& operator=(const LockHolders&) = delete;

    // Maps the word at the start of the lock file `fd` (extending the file to
    // hold it when `writable`). Without it every call looks at the locks.
    void attach(int fd, bool writable);
    void detach();

    // A snapshot of the word: false only when it counts no holder, so that
    // no other process can hold a lock and no look is needed.
    bool mayBeHeld(uint64_t* seen) const;
    // This process took (+1) or gave up (-1) its lock on the file: counted
    // after the byte-range lock is taken and before it is let go, so that a
    // lock is never held uncounted while a call of another process starts.
    void add(int delta);
    // A look after the snapshot `seen` found no lock: whatever it counted
    // belonged to processes that died holding a lock (the system let their
    // locks go, not their count). The count goes back to 0 unless it changed
    // since the snapshot, when a holder may be counted that the look missed.
    void repair(uint64_t seen);

  private:
    // Low half: the count; high half: a generation that every change moves on,
    // so that a repair never undoes a change it did not see.
    uint64_t* word_ = nullptr;
    bool writable_ = false;
};

}  // namespace qmdc::visa
