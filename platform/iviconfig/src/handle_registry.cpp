#include "handle_registry.h"

#include <utility>

namespace qmdc::iviconfig {

Registry& Registry::instance() {
    // Never destroyed: a call racing with process exit must not meet a dead table.
    static Registry* const registry = new Registry;
    return *registry;
}

HandleId Registry::openStore(StoreState state) {
    const HandleId id = next_++;
    stores_.emplace(id, std::move(state));
    try {
        entries_.emplace(id, Entry::forStore(id));
    } catch (...) {
        stores_.erase(id);
        throw;
    }
    return id;
}

StoreState* Registry::store(HandleId id) {
    auto it = stores_.find(id);
    return it == stores_.end() ? nullptr : &it->second;
}

const Entry* Registry::find(HandleId id) const {
    auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

HandleId Registry::add(Entry entry) {
    StoreState& owner = stores_.at(entry.store);
    const HandleId id = next_;
    owner.derived.insert(id);
    entries_.emplace(id, entry);
    ++next_;
    return id;
}

bool Registry::dispose(HandleId id) {
    auto it = entries_.find(id);
    if (it == entries_.end()) return false;
    if (it->second.type == Entry::Type::Store) return closeStore(id);
    stores_.at(it->second.store).derived.erase(id);
    entries_.erase(it);
    return true;
}

bool Registry::closeStore(HandleId id) {
    auto it = stores_.find(id);
    if (it == stores_.end()) return false;
    for (HandleId handle : it->second.derived) entries_.erase(handle);
    entries_.erase(id);
    stores_.erase(it);
    return true;
}

}  // namespace qmdc::iviconfig
