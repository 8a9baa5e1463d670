// The handles given out by the C interface. A handle is an opaque id, never
// reused, looked up in a table on every call, so a stale or made-up handle is
// refused instead of followed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "store_cache.h"

namespace qmdc::iviconfig {

using HandleId = std::uintptr_t;

struct StoreState {
    SharedStore model;     // null until a Deserialize succeeded
    bool loading = false;  // a Deserialize is reading the file
    std::string masterLocation;
    std::string processDefaultLocation;
    std::string actualLocation;
    std::unordered_set<HandleId> derived;  // handles obtained through this store

    const Object& root() const { return model ? *model->root : *emptyStore().root; }
};

struct Collection {
    const Items* items = nullptr;
    Kind itemKind = Kind::Store;
};

struct Entry {
    enum class Type { Store, Object, Collection };

    static Entry forStore(HandleId store) { return {Type::Store, store, nullptr, {}}; }
    static Entry forObject(HandleId store, const Object* object) {
        return {Type::Object, store, object, {}};
    }
    static Entry forCollection(HandleId store, const Items* items, Kind itemKind) {
        return {Type::Collection, store, nullptr, {items, itemKind}};
    }

    Type type;
    HandleId store;         // the store the handle was obtained through
    const Object* object;   // Type::Object
    Collection collection;  // Type::Collection
};

// Every member must be called with mutex() held.
class Registry {
  public:
    static Registry& instance();

    std::mutex& mutex() { return mutex_; }

    HandleId openStore(StoreState state);
    StoreState* store(HandleId id);  // nullptr unless `id` is an open store
    const Entry* find(HandleId id) const;
    HandleId add(Entry entry);
    // Releases one handle; a store handle closes its store. False if unknown.
    bool dispose(HandleId id);
    // Releases the store and every handle obtained through it. False if `id`
    // is not an open store.
    bool closeStore(HandleId id);

  private:
    std::mutex mutex_;
    HandleId next_ = 0x1C0F0000;
    std::unordered_map<HandleId, Entry> entries_;
    std::unordered_map<HandleId, StoreState> stores_;
};

}  // namespace qmdc::iviconfig
