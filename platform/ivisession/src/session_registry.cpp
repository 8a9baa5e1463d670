#include "session_registry.h"

namespace ivisession {

SessionRegistry& SessionRegistry::Instance() {
    static SessionRegistry registry;
    return registry;
}

ViSession SessionRegistry::Issue() {
    auto entry = std::make_shared<SessionEntry>();
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ == 0) return 0;  // the counter wrapped: every handle was issued once
    ViSession vi = next_++;
    entries_.emplace(vi, std::move(entry));
    return vi;
}

std::shared_ptr<SessionEntry> SessionRegistry::Find(ViSession vi) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(vi);
    return it == entries_.end() ? nullptr : it->second;
}

std::shared_ptr<SessionEntry> SessionRegistry::Remove(ViSession vi) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(vi);
    if (it == entries_.end()) return nullptr;
    auto entry = std::move(it->second);
    entries_.erase(it);
    return entry;
}

}  // namespace ivisession
