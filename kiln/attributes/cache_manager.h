// The guards a cached attribute's callbacks open around their work. A getter's
// guard stores what the caller's output holds when the callback ends; a
// setter's guard stores the value it was given. Both store on every way out,
// whatever the status, as long as the session caches or simulates: while
// simulating, the store is the instrument's state.
#pragma once

#include <cstring>
#include <new>
#include <string>

#include "../session/driver_session.h"

namespace kiln {

class CacheManagerBase {
  protected:
    // enabled is read once, here: the cache or the simulate option is on.
    CacheManagerBase(DriverSession& session, ViAttr id)
        : session_(session), id_(id), enabled_(session.GetCache() || session.GetSimulate()) {}

    DriverSession& session_;
    ViAttr id_;
    bool enabled_;
};

template <class T>
class CacheManager : public CacheManagerBase {
  protected:
    using CacheManagerBase::CacheManagerBase;
    using Stored = StoredValueOf<T>;

    // The entry of (id, ""), created not valid when absent; null when the
    // store could not grow (the callback then goes on without it).
    CacheEntry<Stored>* FindOrCreateEntry() noexcept {
        try {
            return &session_.Cache().template TableOf<T>()[id_][std::string()];
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
};

// Scalar getters: the guard's destructor stores *value.
template <class T>
class GetterCacheManager : public CacheManager<T> {
  public:
    GetterCacheManager(DriverSession& session, ViAttr id, const T* value)
        : CacheManager<T>(session, id), value_(value) {
        if (this->enabled_) entry_ = this->FindOrCreateEntry();
    }
    ~GetterCacheManager() {
        if (entry_ != nullptr) {
            entry_->value = *value_;
            entry_->valid = true;
        }
    }
    GetterCacheManager(const GetterCacheManager&) = delete;
    GetterCacheManager& operator=(const GetterCacheManager&) = delete;

    // The entry the simulated getter answers from; null when not storing.
    const CacheEntry<T>* Entry() const { return entry_; }

  private:
    const T* value_;
    CacheEntry<T>* entry_ = nullptr;
};

// Text getters: the destructor stores the text in the caller's buffer, read
// no further than the buffer size, so an unterminated buffer is never overrun.
template <>
class GetterCacheManager<Text> : public CacheManager<Text> {
  public:
    GetterCacheManager(DriverSession& session, ViAttr id, ViInt32 bufferSize, const ViChar* buffer)
        : CacheManager<Text>(session, id), bufferSize_(bufferSize), buffer_(buffer) {
        if (enabled_) entry_ = FindOrCreateEntry();
    }
    ~GetterCacheManager() {
        if (entry_ == nullptr || buffer_ == nullptr) return;
        try {
            const size_t limit = bufferSize_ > 0 ? static_cast<size_t>(bufferSize_) : 0;
            entry_->value.assign(buffer_, strnlen(buffer_, limit));
            entry_->valid = true;
        } catch (const std::bad_alloc&) {
        }
    }
    GetterCacheManager(const GetterCacheManager&) = delete;
    GetterCacheManager& operator=(const GetterCacheManager&) = delete;

    const CacheEntry<std::string>* Entry() const { return entry_; }

  private:
    ViInt32 bufferSize_;
    const ViChar* buffer_;
    CacheEntry<std::string>* entry_ = nullptr;
};

// Setters (no text attribute is writable): the destructor stores the value.
template <class T>
class SetterCacheManager : public CacheManager<T> {
  public:
    SetterCacheManager(DriverSession& session, ViAttr id, T value)
        : CacheManager<T>(session, id), value_(value) {}
    ~SetterCacheManager() {
        if (!this->enabled_) return;
        if (CacheEntry<T>* entry = this->FindOrCreateEntry()) {
            entry->value = value_;
            entry->valid = true;
        }
    }
    SetterCacheManager(const SetterCacheManager&) = delete;
    SetterCacheManager& operator=(const SetterCacheManager&) = delete;

  private:
    T value_;
};

// The invalidator of one attribute: with allChannels, every channel's entry
// goes; otherwise the entry of channel is marked not valid (created first).
template <class T>
void InvalidateCachedAttribute(DriverSession& session, ViAttr id, bool allChannels,
                               const std::string& channel) {
    auto& table = session.Cache().template TableOf<T>();
    if (allChannels) {
        auto it = table.find(id);
        if (it != table.end()) it->second.clear();
        return;
    }
    table[id][channel].valid = false;
}

}  // namespace kiln
