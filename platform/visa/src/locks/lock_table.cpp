// lock_table.cpp - resource locks within the process (a table of who holds
// what) and across processes (byte-range locks on a lock file per resource).
#include "lock_table.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <chrono>
#include <cstdlib>
#include <string>

#include "deadline.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qmdc::visa {

namespace {

// Another process's lock shows only when we look: waits poll at this pace.
constexpr std::chrono::milliseconds kPollPeriod{5};

bool contains(const std::vector<ViAccessMode>& v, ViAccessMode mode) {
    return std::find(v.begin(), v.end(), mode) != v.end();
}

#if !defined(_WIN32)
int openLockFile(const std::string& path, bool* writable) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    *writable = fd >= 0;
    if (fd >= 0) {
        (void)::fchmod(fd, 0666);  // other users' sessions lock it too
        return fd;
    }
    // Another user's file we may not write: we still see their locks, but
    // can take none (a write lock needs a writable descriptor) and wait.
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// Between processes a resource's lock is a set of open-file-description
// byte-range locks on its lock file (they belong to the descriptor, so
// closing another descriptor of the file in this process drops nothing):
// - byte 0 is the lock: write-locked for an exclusive lock, read-locked by
//   every process that holds a shared one;
// - the byte at kKeyBytes + a hash of the access key is read-locked beside a
//   shared lock, so that a process can tell whether the shared lock it finds
//   has its key;
// - byte 1 is a gate, write-locked while a process checks and takes a shared
//   lock, so that two processes never take shared locks with two keys.
constexpr off_t kLockByte = 0;
constexpr off_t kGateByte = 1;
constexpr off_t kKeyBytes = 2;

off_t keyByte(const std::string& key) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : key) hash = (hash ^ c) * 16777619u;
    return kKeyBytes + static_cast<off_t>(hash & 0x3FFFFFFFu);
}

// Sets (F_RDLCK, F_WRLCK) or drops (F_UNLCK) a lock without waiting; `len` 0
// reaches to the end of the file. True when done.
bool setRange(int fd, short type, off_t start, off_t len = 1) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Whether another descriptor (another process) holds any lock on the byte.
bool heldElsewhere(int fd, off_t at) {
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}
#endif

}  // namespace

bool LockTable::Resource::exclusiveBy(ViSession other) const {
    for (const auto& [vi, stack] : locks)
        if (vi != other && contains(stack, VI_EXCLUSIVE_LOCK)) return true;
    return false;
}

bool LockTable::Resource::sharedBy(ViSession other) const {
    for (const auto& [vi, stack] : locks)
        if (vi != other && contains(stack, VI_SHARED_LOCK)) return true;
    return false;
}

bool LockTable::Resource::anyExclusive() const {
    return exclusiveBy(VI_NULL);
}
bool LockTable::Resource::anyShared() const {
    return sharedBy(VI_NULL);
}

LockTable& LockTable::instance() {
    static LockTable* table = new LockTable;  // sessions may close during exit
    return *table;
}

std::string LockTable::lockFilePath(const std::string& rsrc) {
    std::string dir;
    if (const char* env = std::getenv("QMDC_VISA_LOCK_DIR"); env != nullptr && *env != '\0') {
        dir = env;
    } else {
#if defined(_WIN32)
        dir = ".";
#else
        dir = ::access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
#endif
    }
    std::string name = rsrc;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return dir + "/qmdcvisa-" + name + ".lock";
}

LockTable::Resource& LockTable::entry(const std::string& rsrc) {
    return resources_[rsrc];
}

void LockTable::opened(const std::string& rsrc) {
    std::lock_guard<std::mutex> guard(mutex_);
    Resource& r = entry(rsrc);
    if (r.sessions++ > 0) return;
#if !defined(_WIN32)
    // Without a lock file (a directory we may not write) locks still hold
    // between the sessions of this process.
    const std::string path = lockFilePath(rsrc);
    bool writable = false;
    r.holdFd = openLockFile(path, &writable);
    if (r.holdFd >= 0) r.holders.attach(r.holdFd, writable);
#endif
}

void LockTable::closed(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return;
    Resource& r = it->second;
    r.locks.erase(vi);
    if (!r.anyShared()) r.sharedKey.clear();
    syncFileLock(r, r.anyExclusive(), !r.locks.empty(), r.sharedKey);
    if (--r.sessions <= 0 && r.locks.empty()) {
#if !defined(_WIN32)
        r.holders.detach();
        if (r.holdFd >= 0) ::close(r.holdFd);
#endif
        resources_.erase(it);
    }
    changed_.notify_all();
}

bool LockTable::syncFileLock(Resource& r, bool wantExclusive, bool wantAny,
                             const std::string& key) {
#if defined(_WIN32)
    (void)r, (void)wantExclusive, (void)wantAny, (void)key;
    return true;
#else
    const FileLock want = wantExclusive ? FileLock::Exclusive
                          : wantAny ? FileLock::Shared
                                    : FileLock::None;
    if (want == r.fileLockHeld) return true;
    const int fd = r.holdFd;
    if (fd < 0) return true;  // no lock file: locks hold within the process
    // The count of holders says whether others need look at the locks: it
    // covers the whole time this process holds one.
    if (want == FileLock::None) {
        r.holders.add(-1);
        setRange(fd, F_UNLCK, 0, 0);
        r.fileLockHeld = FileLock::None;
        return true;
    }
    const bool counted = r.fileLockHeld != FileLock::None;
    if (want == FileLock::Exclusive) {
        if (!setRange(fd, F_WRLCK, kLockByte)) return false;
        setRange(fd, F_UNLCK, kKeyBytes, 0);
        r.fileLockHeld = FileLock::Exclusive;
        if (!counted) r.holders.add(1);
        return true;
    }
    // A shared lock. Coming down from an exclusive one, nobody else holds
    // anything; otherwise a shared lock found must have our key.
    if (r.fileLockHeld != FileLock::Exclusive) {
        if (!setRange(fd, F_WRLCK, kGateByte)) return false;
        const bool sameKey = !heldElsewhere(fd, kLockByte) || heldElsewhere(fd, keyByte(key));
        const bool taken =
            sameKey && setRange(fd, F_RDLCK, keyByte(key)) && setRange(fd, F_RDLCK, kLockByte);
        if (!taken) setRange(fd, F_UNLCK, kKeyBytes, 0);
        setRange(fd, F_UNLCK, kGateByte);
        if (!taken) return false;
    } else {
        setRange(fd, F_RDLCK, keyByte(key));
        setRange(fd, F_RDLCK, kLockByte);
    }
    r.fileLockHeld = FileLock::Shared;
    if (!counted) r.holders.add(1);
    return true;
#endif
}

bool LockTable::grantable(const Resource& r, ViSession vi, ViAccessMode mode,
                          const std::string& key) {
    if (r.exclusiveBy(vi)) return false;
    if (mode == VI_EXCLUSIVE_LOCK) return !r.sharedBy(vi);
    return !r.anyShared() || r.sharedKey == key;
}

ViStatus LockTable::lock(const std::string& rsrc, ViSession vi, ViAccessMode mode,
                         ViUInt32 timeoutMs, const char* requested, std::string* key) {
    if (mode != VI_EXCLUSIVE_LOCK && mode != VI_SHARED_LOCK) return VI_ERROR_INV_LOCK_TYPE;
    if (requested != nullptr && std::char_traits<char>::length(requested) >= 256)
        return VI_ERROR_INV_ACCESS_KEY;
    const Deadline deadline = Deadline::after(timeoutMs);
    std::unique_lock<std::mutex> guard(mutex_);
    if (mode == VI_SHARED_LOCK) {
        Resource& r = entry(rsrc);
        const auto mine = r.locks.find(vi);
        if (requested != nullptr && *requested != '\0')
            *key = requested;
        else if (mine != r.locks.end() && contains(mine->second, VI_SHARED_LOCK))
            *key = r.sharedKey;  // a nested lock keeps the session's key
        else
            *key = "qmdcvisa-" + std::to_string(++keyCounter_);
    }
    for (;;) {
        // Looked up again after every wait: the table may have changed.
        Resource& r = entry(rsrc);
        if (grantable(r, vi, mode, *key) &&
            syncFileLock(r, mode == VI_EXCLUSIVE_LOCK || r.anyExclusive(), true,
                         mode == VI_SHARED_LOCK ? *key : r.sharedKey)) {
            std::vector<ViAccessMode>& mine = r.locks[vi];
            const bool nested = contains(mine, mode);
            mine.push_back(mode);
            if (mode == VI_SHARED_LOCK) r.sharedKey = *key;
            if (!nested) return VI_SUCCESS;
            return mode == VI_EXCLUSIVE_LOCK ? VI_SUCCESS_NESTED_EXCLUSIVE
                                             : VI_SUCCESS_NESTED_SHARED;
        }
        if (deadline.expired()) return VI_ERROR_TMO;
        const int left = deadline.remainingMs();
        changed_.wait_for(
            guard, left < 0 ? kPollPeriod : std::min(kPollPeriod, std::chrono::milliseconds(left)));
    }
}

ViStatus LockTable::unlock(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return VI_ERROR_SESN_NLOCKED;
    Resource& r = it->second;
    const auto mine = r.locks.find(vi);
    if (mine == r.locks.end() || mine->second.empty()) return VI_ERROR_SESN_NLOCKED;
    mine->second.pop_back();
    const bool stillExclusive = contains(mine->second, VI_EXCLUSIVE_LOCK);
    const bool stillShared = contains(mine->second, VI_SHARED_LOCK);
    if (mine->second.empty()) r.locks.erase(mine);
    if (!r.anyShared()) r.sharedKey.clear();
    // Giving up (or downgrading) a lock never waits.
    syncFileLock(r, r.anyExclusive(), !r.locks.empty(), r.sharedKey);
    changed_.notify_all();
    if (stillExclusive) return VI_SUCCESS_NESTED_EXCLUSIVE;
    return stillShared ? VI_SUCCESS_NESTED_SHARED : VI_SUCCESS;
}

ViStatus LockTable::access(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return VI_SUCCESS;
    Resource& r = it->second;
    if (r.exclusiveBy(vi)) return VI_ERROR_RSRC_LOCKED;
    if (r.anyShared()) {
        const auto mine = r.locks.find(vi);
        return mine != r.locks.end() && !mine->second.empty() ? VI_SUCCESS : VI_ERROR_RSRC_LOCKED;
    }
#if !defined(_WIN32)
    // No lock here: is there one in another process? (Any lock there keeps
    // out a session here that has none: an exclusive one, or a shared one
    // whose key this session does not hold.) Only when the count of holders
    // says there may be one is the kernel asked.
    uint64_t seen = 0;
    if (r.fileLockHeld == FileLock::None && r.holdFd >= 0 && r.holders.mayBeHeld(&seen)) {
        if (heldElsewhere(r.holdFd, kLockByte)) return VI_ERROR_RSRC_LOCKED;
        r.holders.repair(seen);
    }
#endif
    return VI_SUCCESS;
}

ViAccessMode LockTable::state(const std::string& rsrc) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return VI_NO_LOCK;
    if (it->second.anyExclusive()) return VI_EXCLUSIVE_LOCK;
    return it->second.anyShared() ? VI_SHARED_LOCK : VI_NO_LOCK;
}

size_t LockTable::held(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return 0;
    const auto mine = it->second.locks.find(vi);
    return mine == it->second.locks.end() ? 0 : mine->second.size();
}

size_t LockTable::held(const std::string& rsrc, ViSession vi, ViAccessMode mode) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return 0;
    const auto mine = it->second.locks.find(vi);
    if (mine == it->second.locks.end()) return 0;
    return static_cast<size_t>(std::count(mine->second.begin(), mine->second.end(), mode));
}

ViAccessMode LockTable::latest(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return VI_NO_LOCK;
    const auto mine = it->second.locks.find(vi);
    return mine == it->second.locks.end() || mine->second.empty() ? VI_NO_LOCK
                                                                  : mine->second.back();
}

}  // namespace qmdc::visa
