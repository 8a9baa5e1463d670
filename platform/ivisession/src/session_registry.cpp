#include "session_registry.h"

namespace ivisession {

SessionRegistry& SessionRegistry::Instance() {
    static SessionRegistry registry;
    return registry;
}

ViSession SessionRegistry::Issue() {
    auto entry = std::make_shared<SessionEntry>();
    ViSession vi = 0;
    {
        std::lock_guard<std::mutex> lock(issueMutex_);
        if (next_ == 0) return 0;  // the counter wrapped: every handle was issued once
        vi = next_++;
    }
    Shard& shard = ShardOf(vi);
    std::lock_guard<std::mutex> lock(shard.mutex);
    shard.entries.emplace(vi, std::move(entry));
    return vi;
}

std::shared_ptr<SessionEntry> SessionRegistry::Find(ViSession vi) const {
    const Shard& shard = ShardOf(vi);
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto it = shard.entries.find(vi);
    return it == shard.entries.end() ? nullptr : it->second;
}

std::shared_ptr<SessionEntry> SessionRegistry::Remove(ViSession vi) {
    Shard& shard = ShardOf(vi);
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto it = shard.entries.find(vi);
    if (it == shard.entries.end()) return nullptr;
    auto entry = std::move(it->second);
    shard.entries.erase(it);
    return entry;
}

}  // namespace ivisession
