// The table of live session handles behind the IviSession_* functions.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "visatype.h"

namespace ivisession {

struct ErrorInfo {
    ViStatus code = 0;
    std::string description;
};

// One issued handle. Shared ownership keeps it alive while a thread waits for
// its lock, even after the handle was disposed of. Each entry has its cache
// lines to itself, so that calls on different sessions do not slow each other.
struct alignas(64) SessionEntry {
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id owner;  // default id: nobody holds the lock
    unsigned depth = 0;
    bool disposed = false;
    void* data = nullptr;
    ErrorInfo error;
};

// The handles are spread over shards, each with its own lock: handles are
// issued in sequence, so sessions used by different threads meet in no lock
// (a process-wide lock here would serialise every call of every session).
class SessionRegistry {
  public:
    static SessionRegistry& Instance();

    // Issues a handle that was never issued before; 0 when none is left.
    ViSession Issue();
    std::shared_ptr<SessionEntry> Find(ViSession vi) const;
    // Removes the handle; returns the entry so that waiters can be woken.
    std::shared_ptr<SessionEntry> Remove(ViSession vi);

  private:
    static constexpr size_t kShards = 64;
    struct alignas(64) Shard {
        mutable std::mutex mutex;
        std::unordered_map<ViSession, std::shared_ptr<SessionEntry>> entries;
    };
    Shard& ShardOf(ViSession vi) { return shards_[vi % kShards]; }
    const Shard& ShardOf(ViSession vi) const { return shards_[vi % kShards]; }

    std::mutex issueMutex_;
    ViSession next_ = 0x1000;
    Shard shards_[kShards];
};

}  // namespace ivisession
