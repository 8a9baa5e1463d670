// The generic operations behind the exported IviConfig_* functions. Each one
// validates its handles, takes the registry lock for its whole run, never
// throws, and on failure records a description for IviConfig_GetError.
#pragma once

#include <initializer_list>

#include "store_model.h"
#include "visatype.h"

namespace qmdc::iviconfig {

using Kinds = std::initializer_list<Kind>;
using Slot = const Object* Object::*;

ViStatus initializeStore(void** store) noexcept;
ViStatus closeStore(void* store) noexcept;
ViStatus disposeHandle(void* handle) noexcept;
ViStatus deserializeStore(void* store, const char* location) noexcept;
ViStatus setStoreString(void* store, ViInt32 id, const char* value) noexcept;
ViStatus findSession(void* store, const char* name, bool driverOnly, void** session) noexcept;

// Properties of an object whose kind is one of `kinds`.
ViStatus getString(void* handle, Kinds kinds, ViInt32 id, ViInt32 size, ViChar* buffer) noexcept;
template <class T>
ViStatus getValue(void* handle, Kinds kinds, ViInt32 id, T* value) noexcept;

// The collection `container` of an object whose kind is one of `kinds`.
ViStatus getCollection(void* handle, Kinds kinds, const char* container, Kind itemKind,
                       void** collection) noexcept;
// The object an object refers to; VI_SUCCESS and NULL when it refers to none.
ViStatus getReference(void* handle, Kinds kinds, Slot slot, void** target) noexcept;

ViStatus getCount(void* collection, Kind itemKind, ViInt32* count) noexcept;
ViStatus getItemByIndex(void* collection, Kind itemKind, ViInt32 index, void** item) noexcept;
ViStatus getItemByName(void* collection, Kind itemKind, const char* name, void** item) noexcept;

ViStatus getErrorText(ViInt32 size, ViChar* buffer) noexcept;

}  // namespace qmdc::iviconfig
