// The per-session store of attribute values: one table per value type, from
// attribute id and channel name to a valid flag and the last value.
#pragma once

#include <map>
#include <string>

#include "visatype.h"

namespace kiln {

template <class T>
struct CacheEntry {
    bool valid = false;
    T value{};
};

template <class T>
using CacheTable = std::map<ViAttr, std::map<std::string, CacheEntry<T>>>;

struct AttributeCache {
    CacheTable<ViInt32> int32;
    CacheTable<ViReal64> real64;
    CacheTable<ViBoolean> boolean;
    CacheTable<ViSession> session;
    CacheTable<std::string> text;

    void Clear() {
        int32.clear();
        real64.clear();
        boolean.clear();
        session.clear();
        text.clear();
    }
};

}  // namespace kiln
