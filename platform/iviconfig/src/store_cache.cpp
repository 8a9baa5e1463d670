#include "store_cache.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "file_stamp.h"
#include "store_loader.h"

namespace qmdc::iviconfig {
namespace {

// Files a process keeps parsed at once; the least recently used goes first.
constexpr std::size_t kMaxEntries = 8;
// A larger store is parsed on every load rather than kept for the life of the
// process (its text and model would stay in memory long after its sessions).
constexpr std::size_t kMaxKeptBytes = std::size_t{4} << 20;

// File times come from a clock that may lag a tick behind, on some file
// systems in whole seconds: a write this soon after the moment a file was
// read may leave its times as they were.
constexpr std::int64_t kRacyWindowNs = 3'000'000'000;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Entry {
    FileStamp stamp;
    std::string text;  // the bytes the model was parsed from
    SharedStore model;
    std::int64_t verifiedNs;  // when the file was last read and found to hold `text`
    std::uint64_t lastUse;

    // The stamp alone vouches for the text only when the file's last write
    // was well before the read that checked it.
    bool stampTrusted() const {
        return std::max(stamp.modifiedNs, stamp.changedNs) < verifiedNs - kRacyWindowNs;
    }
};

class Cache {
  public:
    static Cache& instance() {
        // Never destroyed: a load racing with process exit must not meet a dead table.
        static Cache* const cache = new Cache;
        return *cache;
    }

    // The model kept for `path` when `stamp` alone shows the file unchanged.
    SharedStore byStamp(const std::string& path, const FileStamp& stamp) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = find(path);
        return entry && entry->stamp == stamp && entry->stampTrusted() ? entry->model : nullptr;
    }

    // The model kept for `path` when it was parsed from `text`. `stamp` is
    // recorded when the file held still while it was read.
    SharedStore byText(const std::string& path, const std::string& text, const FileStamp* stamp,
                       std::int64_t readNs) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = find(path);
        if (!entry || entry->text != text) return nullptr;
        if (stamp) {
            entry->stamp = *stamp;
            entry->verifiedNs = readNs;
        }
        return entry->model;
    }

    void keep(const std::string& path, Entry entry) {
        std::lock_guard<std::mutex> lock(mutex_);
        entry.lastUse = ++uses_;
        entries_.insert_or_assign(path, std::move(entry));
        if (entries_.size() <= kMaxEntries) return;
        auto oldest = entries_.begin();
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        entries_.erase(oldest);
    }

  private:
    Entry* find(const std::string& path) {
        auto it = entries_.find(path);
        if (it == entries_.end()) return nullptr;
        it->second.lastUse = ++uses_;
        return &it->second;
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::uint64_t uses_ = 0;
};

}  // namespace

SharedStore cachedStoreFile(const std::string& path, std::string& error) {
    Cache& cache = Cache::instance();
    FileStamp before;
    const bool stamped = stampOf(path, before);
    if (stamped)
        if (SharedStore model = cache.byStamp(path, before)) return model;

    // Files are read and parsed without the lock, so other stores stay usable.
    const std::int64_t readNs = nowNs();
    std::string text;
    if (!readStoreFile(path, text, error)) return nullptr;
    FileStamp after;
    const bool heldStill = stamped && stampOf(path, after) && after == before;
    if (SharedStore model = cache.byText(path, text, heldStill ? &after : nullptr, readNs))
        return model;

    SharedStore model = loadStoreText(text, storeSource(path), error);
    if (model && heldStill && text.size() <= kMaxKeptBytes)
        cache.keep(path, {after, std::move(text), model, readNs, 0});
    return model;
}

SharedStore cachedBuiltInStore(std::string& error) {
    // Never destroyed, like the cache.
    static const SharedStore* const builtIn = [] {
        std::string ignored;
        return new SharedStore(builtInStore(ignored));
    }();
    if (*builtIn) return *builtIn;
    return builtInStore(error);
}

}  // namespace qmdc::iviconfig
