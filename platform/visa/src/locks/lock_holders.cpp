// lock_holders.cpp - the shared count of lock holders, mapped from the lock file.
#include "lock_holders.h"

#include <cstddef>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qmdc::visa {

namespace {

constexpr uint64_t kCountMask = 0xFFFFFFFFu;
constexpr uint64_t kGeneration = uint64_t{1} << 32;
constexpr size_t kWordSize = sizeof(uint64_t);

}  // namespace

void LockHolders::attach(int fd, bool writable) {
#if defined(_WIN32)
    (void)fd, (void)writable;
#else
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    // Extending never drops what another process wrote: a file already as
    // long as the word keeps its count.
    const off_t size = static_cast<off_t>(kWordSize);
    if (st.st_size < size && (!writable || ::ftruncate(fd, size) != 0)) return;
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* page = ::mmap(nullptr, kWordSize, protection, MAP_SHARED, fd, 0);
    if (page == MAP_FAILED) return;
    word_ = static_cast<uint64_t*>(page);
    writable_ = writable;
#endif
}

void LockHolders::detach() {
#if !defined(_WIN32)
    if (word_ != nullptr) ::munmap(word_, kWordSize);
#endif
    word_ = nullptr;
}

bool LockHolders::mayBeHeld(uint64_t* seen) const {
    if (word_ == nullptr) return true;
    *seen = __atomic_load_n(word_, __ATOMIC_ACQUIRE);
    return (*seen & kCountMask) != 0;
}

void LockHolders::add(int delta) {
    if (word_ == nullptr || !writable_) return;
    uint64_t old = __atomic_load_n(word_, __ATOMIC_RELAXED);
    for (;;) {
        const uint64_t count = old & kCountMask;
        // A count repaired to 0 while this process held its lock cannot be
        // (the look would have found the lock), but it never wraps.
        const uint64_t next = delta > 0 ? count + 1 : count > 0 ? count - 1 : 0;
        const uint64_t word = ((old & ~kCountMask) + kGeneration) | (next & kCountMask);
        if (__atomic_compare_exchange_n(word_, &old, word, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_RELAXED))
            return;
    }
}

void LockHolders::repair(uint64_t seen) {
    if (word_ == nullptr || !writable_) return;
    const uint64_t word = (seen & ~kCountMask) + kGeneration;
    __atomic_compare_exchange_n(word_, &seen, word, false, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED);
}

}  // namespace qmdc::visa
