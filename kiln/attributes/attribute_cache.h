// The per-session store of attribute values: one table per value type, from
// attribute id and channel name to a valid flag and the last value.
#pragma once

#include <map>
#include <string>

#include "value_type.h"

namespace kiln {

template <class T>
struct CacheEntry {
    bool valid = false;
    T value{};
};

template <class T>
using CacheTable = std::map<ViAttr, std::map<std::string, CacheEntry<T>>>;

// What a table stores for a value type: texts are kept as strings.
template <class T>
struct StoredValue {
    using type = T;
};
template <>
struct StoredValue<Text> {
    using type = std::string;
};
template <class T>
using StoredValueOf = typename StoredValue<T>::type;

struct AttributeCache {
    CacheTable<ViInt32> int32;
    CacheTable<ViReal64> real64;
    CacheTable<ViBoolean> boolean;
    CacheTable<ViSession> session;
    CacheTable<std::string> text;

    template <class T>
    CacheTable<StoredValueOf<T>>& TableOf();

    void Clear() {
        int32.clear();
        real64.clear();
        boolean.clear();
        session.clear();
        text.clear();
    }
};

template <>
inline CacheTable<ViInt32>& AttributeCache::TableOf<ViInt32>() {
    return int32;
}
template <>
inline CacheTable<ViReal64>& AttributeCache::TableOf<ViReal64>() {
    return real64;
}
template <>
inline CacheTable<ViBoolean>& AttributeCache::TableOf<ViBoolean>() {
    return boolean;
}
template <>
inline CacheTable<ViSession>& AttributeCache::TableOf<ViSession>() {
    return session;
}
template <>
inline CacheTable<std::string>& AttributeCache::TableOf<Text>() {
    return text;
}

}  // namespace kiln
