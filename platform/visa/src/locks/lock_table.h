// lock_table.h - VISA resource locks (viLock, viOpen's lock modes) between
// the sessions of this process, and between processes on this machine
// through byte-range locks on a lock file per resource.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "lock_holders.h"
#include "visa.h"

namespace qmdc::visa {

class LockTable {
  public:
    static LockTable& instance();

    // A session of `rsrc` was opened / is closing (its locks are released).
    void opened(const std::string& rsrc);
    void closed(const std::string& rsrc, ViSession vi);

    // Waits up to `timeoutMs` for the lock: VI_SUCCESS, VI_SUCCESS_NESTED_*
    // when the session held a lock of that type already, VI_ERROR_TMO,
    // VI_ERROR_INV_LOCK_TYPE, VI_ERROR_INV_ACCESS_KEY. `key` is the shared
    // lock's access key (requested, or made up when `requested` is null).
    ViStatus lock(const std::string& rsrc, ViSession vi, ViAccessMode mode, ViUInt32 timeoutMs,
                  const char* requested, std::string* key);
    // Releases the session's most recent lock: VI_SUCCESS, or
    // VI_SUCCESS_NESTED_* while it holds more; VI_ERROR_SESN_NLOCKED.
    ViStatus unlock(const std::string& rsrc, ViSession vi);
    // VI_ERROR_RSRC_LOCKED when another session (here or in another process)
    // holds a lock that keeps `vi` out.
    ViStatus access(const std::string& rsrc, ViSession vi);
    // VI_NO_LOCK, VI_EXCLUSIVE_LOCK or VI_SHARED_LOCK, as held in this process.
    ViAccessMode state(const std::string& rsrc);
    // How many locks `vi` holds (0 when none).
    size_t held(const std::string& rsrc, ViSession vi);
    // How many of them are of type `mode`.
    size_t held(const std::string& rsrc, ViSession vi, ViAccessMode mode);
    // The type of its most recent one, the one unlock releases (VI_NO_LOCK when none).
    ViAccessMode latest(const std::string& rsrc, ViSession vi);

    // The lock file of a resource: $QMDC_VISA_LOCK_DIR, else /run/lock when
    // writable, else /tmp; "qmdcvisa-" and the name with every character
    // other than a letter or digit made "_".
    static std::string lockFilePath(const std::string& rsrc);

  private:
    // What this process holds on a resource's lock file.
    enum class FileLock { None, Shared, Exclusive };
    struct Resource {
        int sessions = 0;
        int holdFd = -1;  // carries this process's lock on the resource
        // The count of processes that hold a lock on the resource, shared
        // through the lock file (unmapped without one); see lock_holders.h.
        LockHolders holders;
        FileLock fileLockHeld = FileLock::None;
        std::string sharedKey;
        std::map<ViSession, std::vector<ViAccessMode>> locks;  // oldest first
        bool exclusiveBy(ViSession other) const;
        bool sharedBy(ViSession other) const;
        bool anyExclusive() const;
        bool anyShared() const;
    };
    bool grantable(const Resource& r, ViSession vi, ViAccessMode mode, const std::string& key);
    // Brings this process's lock on the file in line with the locks it
    // holds (`key`: the shared lock's); false when another process's lock
    // stands in the way.
    bool syncFileLock(Resource& r, bool wantExclusive, bool wantAny, const std::string& key);
    Resource& entry(const std::string& rsrc);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Resource> resources_;
    unsigned long keyCounter_ = 0;
};

}  // namespace qmdc::visa
