// lock_table.cpp - resource locks within the process (a table of who holds
// what) and across processes (flock on a lock file per resource).
#include "lock_table.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>

#include "deadline.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
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
int openLockFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) (void)::fchmod(fd, 0666);  // other users' sessions lock it too
    return fd;
}

// flock without waiting; true when taken.
bool tryFlock(int fd, int op) {
    return fd < 0 || ::flock(fd, op | LOCK_NB) == 0;
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
    r.holdFd = openLockFile(path);
    r.probeFd = r.holdFd >= 0 ? openLockFile(path) : -1;
#endif
}

void LockTable::closed(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return;
    Resource& r = it->second;
    r.locks.erase(vi);
    syncFlock(r, r.anyExclusive(), !r.locks.empty());
    if (--r.sessions <= 0 && r.locks.empty()) {
#if !defined(_WIN32)
        for (int fd : {r.holdFd, r.probeFd})
            if (fd >= 0) ::close(fd);
#endif
        resources_.erase(it);
    }
    changed_.notify_all();
}

bool LockTable::syncFlock(Resource& r, bool wantExclusive, bool wantAny) {
#if defined(_WIN32)
    (void)r, (void)wantExclusive, (void)wantAny;
    return true;
#else
    const int want = wantExclusive ? LOCK_EX : wantAny ? LOCK_SH : 0;
    if (want == r.flockHeld) return true;
    if (want == 0) {
        if (r.holdFd >= 0) ::flock(r.holdFd, LOCK_UN);
        r.flockHeld = 0;
        return true;
    }
    if (!tryFlock(r.holdFd, want)) return false;
    r.flockHeld = want;
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
            syncFlock(r, mode == VI_EXCLUSIVE_LOCK || r.anyExclusive(), true)) {
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
    // Giving up (or downgrading) a flock never waits.
    syncFlock(r, r.anyExclusive(), !r.locks.empty());
    changed_.notify_all();
    if (stillExclusive) return VI_SUCCESS_NESTED_EXCLUSIVE;
    return stillShared ? VI_SUCCESS_NESTED_SHARED : VI_SUCCESS;
}

ViStatus LockTable::access(const std::string& rsrc, ViSession vi) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = resources_.find(rsrc);
    if (it == resources_.end()) return VI_SUCCESS;
    const Resource& r = it->second;
    if (r.exclusiveBy(vi)) return VI_ERROR_RSRC_LOCKED;
    if (r.anyShared()) {
        const auto mine = r.locks.find(vi);
        return mine != r.locks.end() && !mine->second.empty() ? VI_SUCCESS : VI_ERROR_RSRC_LOCKED;
    }
#if !defined(_WIN32)
    // No lock here: is there one in another process?
    if (r.flockHeld == 0 && r.probeFd >= 0) {
        if (::flock(r.probeFd, LOCK_SH | LOCK_NB) != 0) return VI_ERROR_RSRC_LOCKED;
        ::flock(r.probeFd, LOCK_UN);
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

}  // namespace qmdc::visa
