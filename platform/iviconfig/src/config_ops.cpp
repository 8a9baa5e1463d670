#include "config_ops.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>

#include "error_state.h"
#include "handle_registry.h"
#include "IviConfigServer.h"
#include "property_table.h"
#include "store_location.h"
#include "value_text.h"

namespace qmdc::iviconfig {
namespace {

constexpr const char* kUnknownHandle =
    "it was never issued, has been disposed of, or its store has been closed";

template <class Body>
ViStatus guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return setError(IVICONFIG_ERROR_OUT_OF_MEMORY, "Out of memory");
    } catch (const std::exception& e) {
        return setError(IVICONFIG_ERROR_CANNOT_RECOVER, e.what());
    } catch (...) {
        return setError(IVICONFIG_ERROR_CANNOT_RECOVER, "Unexpected failure");
    }
}

template <class Body>
ViStatus locked(Body&& body) noexcept {
    return guarded([&]() -> ViStatus {
        Registry& registry = Registry::instance();
        std::lock_guard<std::mutex> lock(registry.mutex());
        return body(registry);
    });
}

HandleId idOf(void* handle) {
    return reinterpret_cast<HandleId>(handle);
}
void* handleOf(HandleId id) {
    return reinterpret_cast<void*>(id);
}

ViStatus badHandle(void* handle, const std::string& why) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", handle);
    return setError(IVICONFIG_ERROR_INVALID_HANDLE,
                    "Invalid handle " + std::string(text) + ": " + why);
}

// Called before any guard is set up, so it must not allocate.
ViStatus nullPointer(const char* argument) noexcept {
    char text[96];
    std::snprintf(text, sizeof text, "The argument %s is a NULL pointer", argument);
    return setError(IVICONFIG_ERROR_NULL_POINTER, text);
}

std::string describe(Kinds kinds) {
    std::string text;
    for (Kind kind : kinds)
        text += (text.empty() ? "an " : " or an ") + std::string(kindName(kind));
    return text;
}

// Text is copied whole or truncated and terminated; the size needed
// (terminator included) is returned unless it all fitted.
ViStatus copyText(const std::string& text, ViInt32 size, ViChar* buffer) {
    const ViInt32 needed = static_cast<ViInt32>(std::min<std::size_t>(text.size() + 1, INT_MAX));
    if (size <= 0 || !buffer) return needed;
    const ViInt32 copied = std::min(size - 1, needed - 1);
    std::memcpy(buffer, text.data(), static_cast<std::size_t>(copied));
    buffer[copied] = '\0';
    return size >= needed ? VI_SUCCESS : needed;
}

struct Target {
    const Object* object;
    StoreState* store;
    HandleId storeId;
};

ViStatus resolveObject(Registry& registry, void* handle, Kinds kinds, Target& target) {
    const Entry* entry = registry.find(idOf(handle));
    if (!entry) return badHandle(handle, kUnknownHandle);
    StoreState* store = registry.store(entry->store);
    if (entry->type == Entry::Type::Collection)
        return badHandle(handle, "it is a collection; this function takes " + describe(kinds));
    const Object* object = entry->type == Entry::Type::Store ? &store->root() : entry->object;
    if (std::none_of(kinds.begin(), kinds.end(), [&](Kind k) { return kindFits(k, object->kind); }))
        return badHandle(handle, "it refers to an " + std::string(kindName(object->kind)) +
                                     "; this function takes " + describe(kinds));
    target = {object, store, entry->store};
    return VI_SUCCESS;
}

ViStatus resolveCollection(Registry& registry, void* handle, Kind itemKind, const Entry*& entry) {
    entry = registry.find(idOf(handle));
    if (!entry) return badHandle(handle, kUnknownHandle);
    if (entry->type != Entry::Type::Collection || !kindFits(itemKind, entry->collection.itemKind))
        return badHandle(handle,
                         "it is no collection of " + std::string(kindName(itemKind)) + " items");
    return VI_SUCCESS;
}

void* newObjectHandle(Registry& registry, HandleId store, const Object* object) {
    return handleOf(registry.add(Entry::forObject(store, object)));
}

const char* componentTypeFor(ValueType type) {
    switch (type) {
        case ValueType::Int32:
            return "IviInteger";
        case ValueType::Real64:
            return "IviReal";
        case ValueType::Boolean:
            return "IviBoolean";
        default:
            return "IviString";
    }
}

// "IviDriverSession 'bench'", or the kind alone for an object without a name.
std::string describe(const Object& object) {
    const std::string& name = object.name();
    return kindName(object.kind) + (name.empty() ? std::string() : " '" + name + "'");
}

ViStatus typeMismatch(const Object& object, const PropertyRow& row, ValueType held,
                      ValueType asked) {
    if (object.kind != Kind::DataComponent || row.id != IVICONFIG_VAL_DATA_COMPONENT_VALUE)
        return setError(IVICONFIG_ERROR_INVALID_PROPERTY_ID,
                        "Property " + std::to_string(row.id) + " of " + describe(object) +
                            " is a " + valueTypeName(held) + ", not a " + valueTypeName(asked));
    if (held == ValueType::None)
        return setError(IVICONFIG_ERROR_INVALID_DATA_COMPONENT,
                        "Data component '" + object.name() + "' is a structure and has no value");
    return setError(IVICONFIG_ERROR_INVALID_DATA_COMPONENT,
                    "Data component '" + object.name() + "' is not of type " +
                        componentTypeFor(asked) + ": its type is " + object.field("Type") +
                        ", read its value as a " + valueTypeName(held));
}

std::string storeLocation(const StoreState& store, int id) {
    switch (id) {
        case IVICONFIG_VAL_CONFIG_STORE_MASTER_LOCATION:
            return store.masterLocation;
        case IVICONFIG_VAL_CONFIG_STORE_ACTUAL_LOCATION:
            return store.actualLocation;
        default:
            return store.processDefaultLocation;
    }
}

ViStatus readProperty(const Target& target, ViInt32 id, ValueType asked, std::string& text) {
    const Object& object = *target.object;
    const PropertyRow* row = findProperty(object, id);
    if (!row)
        return setError(IVICONFIG_ERROR_INVALID_PROPERTY_ID,
                        describe(object) + " has no property " + std::to_string(id));
    const ValueType held = valueTypeOf(object, *row);
    if (held != asked) return typeMismatch(object, *row, held, asked);
    text = row->element ? propertyText(object, *row) : storeLocation(*target.store, id);
    return VI_SUCCESS;
}

// Typed values were checked when the store was loaded; empty reads as zero.
bool convert(const std::string& text, ViInt32& value) {
    std::int32_t parsed = 0;
    const bool ok = trimmed(text).empty() || parseInt32(text, parsed);
    value = parsed;
    return ok;
}
bool convert(const std::string& text, ViReal64& value) {
    double parsed = 0.0;
    const bool ok = trimmed(text).empty() || parseReal64(text, parsed);
    value = parsed;
    return ok;
}
bool convert(const std::string& text, ViBoolean& value) {
    bool parsed = false;
    const bool ok = trimmed(text).empty() || parseBoolean(text, parsed);
    value = parsed ? VI_TRUE : VI_FALSE;
    return ok;
}

template <class T>
constexpr ValueType kValueType = ValueType::None;
template <>
constexpr ValueType kValueType<ViInt32> = ValueType::Int32;
template <>
constexpr ValueType kValueType<ViReal64> = ValueType::Real64;
template <>
constexpr ValueType kValueType<ViBoolean> = ValueType::Boolean;

}  // namespace

ViStatus initializeStore(void** store) noexcept {
    if (!store) return nullPointer("Handle");
    *store = nullptr;
    return guarded([&]() -> ViStatus {
        StoreState state;
        state.masterLocation = masterLocation();
        state.processDefaultLocation = processDefaultLocation();
        Registry& registry = Registry::instance();
        std::lock_guard<std::mutex> lock(registry.mutex());
        *store = handleOf(registry.openStore(std::move(state)));
        return VI_SUCCESS;
    });
}

ViStatus closeStore(void* store) noexcept {
    return locked([&](Registry& registry) -> ViStatus {
        if (registry.closeStore(idOf(store))) return VI_SUCCESS;
        return badHandle(store, registry.find(idOf(store)) ? "it is no configuration store handle"
                                                           : kUnknownHandle);
    });
}

ViStatus disposeHandle(void* handle) noexcept {
    return locked([&](Registry& registry) -> ViStatus {
        return registry.dispose(idOf(handle)) ? VI_SUCCESS : badHandle(handle, kUnknownHandle);
    });
}

ViStatus deserializeStore(void* store, const char* location) noexcept {
    if (!location) return nullPointer("Location");
    std::string master;
    const ViStatus claimed = locked([&](Registry& registry) -> ViStatus {
        StoreState* state = registry.store(idOf(store));
        if (!state) return badHandle(store, "it is no open configuration store handle");
        if (state->model || state->loading)
            return setError(
                IVICONFIG_ERROR_ALREADY_DESERIALIZED,
                "This configuration store handle has already been loaded" +
                    (state->loading ? std::string() : " from '" + state->actualLocation + "'") +
                    "; close it and initialize a new one to load again");
        master = state->masterLocation;
        state->loading = true;
        return VI_SUCCESS;
    });
    if (claimed != VI_SUCCESS) return claimed;

    // The file is read without the lock so that other stores stay usable.
    SharedStore model;
    std::string error;
    const ViStatus loaded = guarded([&]() -> ViStatus {
        model = loadLocation(location, master, error);
        return VI_SUCCESS;
    });
    return locked([&](Registry& registry) -> ViStatus {
        StoreState* state = registry.store(idOf(store));
        if (!state) return badHandle(store, "the store was closed while it was being loaded");
        state->loading = false;
        if (loaded != VI_SUCCESS) return loaded;
        if (!model) return setError(IVICONFIG_ERROR_DESERIALIZE_FAILED, std::move(error));
        state->actualLocation = location;
        state->model = std::move(model);
        return VI_SUCCESS;
    });
}

ViStatus setStoreString(void* store, ViInt32 id, const char* value) noexcept {
    if (!value) return nullPointer("Value");
    return locked([&](Registry& registry) -> ViStatus {
        Target target;
        if (ViStatus status = resolveObject(registry, store, {Kind::Store}, target)) return status;
        if (id == IVICONFIG_VAL_CONFIG_STORE_PROC_DEFAULT_LOCATION) {
            target.store->processDefaultLocation = value;
            return VI_SUCCESS;
        }
        if (findProperty(*target.object, id))
            return setError(IVICONFIG_ERROR_NOT_SUPPORTED,
                            "Property " + std::to_string(id) +
                                " of the configuration store cannot be set; only the process "
                                "default location (5) can");
        return setError(IVICONFIG_ERROR_INVALID_PROPERTY_ID,
                        "The configuration store has no property " + std::to_string(id));
    });
}

ViStatus findSession(void* store, const char* name, bool driverOnly, void** session) noexcept {
    if (!session) return nullPointer("Session");
    *session = nullptr;
    if (!name) return nullPointer("SessionName");
    return locked([&](Registry& registry) -> ViStatus {
        Target target;
        if (ViStatus status = resolveObject(registry, store, {Kind::Store}, target)) return status;
        const Object& root = *target.object;
        auto fits = [&](const Object* found) {
            return found && (!driverOnly || found->kind == Kind::DriverSession);
        };
        const Object* logical = root.itemNamed("LogicalNames", name);
        const Object* found = logical ? logical->session : nullptr;
        if (!fits(found)) found = root.itemNamed("DriverSessions", name);
        if (!fits(found) && !driverOnly) found = root.itemNamed("Sessions", name);
        if (!fits(found)) {
            const std::string where = target.store->actualLocation.empty()
                                          ? "the configuration store"
                                          : "'" + target.store->actualLocation + "'";
            return setError(IVICONFIG_ERROR_SESSION_NOT_FOUND,
                            std::string("No ") + (driverOnly ? "driver " : "") +
                                "session or logical name '" + name + "' in " + where);
        }
        *session = newObjectHandle(registry, target.storeId, found);
        return VI_SUCCESS;
    });
}

ViStatus getString(void* handle, Kinds kinds, ViInt32 id, ViInt32 size, ViChar* buffer) noexcept {
    if (size > 0 && !buffer) return nullPointer("Value");
    return locked([&](Registry& registry) -> ViStatus {
        Target target;
        std::string text;
        if (ViStatus status = resolveObject(registry, handle, kinds, target)) return status;
        if (ViStatus status = readProperty(target, id, ValueType::String, text)) return status;
        return copyText(text, size, buffer);
    });
}

template <class T>
ViStatus getValue(void* handle, Kinds kinds, ViInt32 id, T* value) noexcept {
    if (!value) return nullPointer("Value");
    return locked([&](Registry& registry) -> ViStatus {
        Target target;
        std::string text;
        if (ViStatus status = resolveObject(registry, handle, kinds, target)) return status;
        if (ViStatus status = readProperty(target, id, kValueType<T>, text)) return status;
        if (!convert(text, *value))
            return setError(IVICONFIG_ERROR_CANNOT_RECOVER,
                            "Property " + std::to_string(id) + " holds '" + text + "'");
        return VI_SUCCESS;
    });
}

template ViStatus getValue<ViInt32>(void*, Kinds, ViInt32, ViInt32*) noexcept;
template ViStatus getValue<ViReal64>(void*, Kinds, ViInt32, ViReal64*) noexcept;
template ViStatus getValue<ViBoolean>(void*, Kinds, ViInt32, ViBoolean*) noexcept;

ViStatus getCollection(void* handle, Kinds kinds, const char* container, Kind itemKind,
                       void** collection) noexcept {
    if (!collection) return nullPointer("Collection");
    *collection = nullptr;
    return locked([&](Registry& registry) -> ViStatus {
        Target target;
        if (ViStatus status = resolveObject(registry, handle, kinds, target)) return status;
        const Object& owner = *target.object;
        if (owner.kind == Kind::DataComponent && owner.dataType != DataType::Structure)
            return setError(IVICONFIG_ERROR_INVALID_DATA_COMPONENT,
                            "Data component '" + owner.name() + "' is of type " +
                                owner.field("Type") + ", not a structure");
        *collection = handleOf(
            registry.add(Entry::forCollection(target.storeId, &owner.items(container), itemKind)));
        return VI_SUCCESS;
    });
}

ViStatus getReference(void* handle, Kinds kinds, Slot slot, void** target) noexcept {
    if (!target) return nullPointer("Reference");
    *target = nullptr;
    return locked([&](Registry& registry) -> ViStatus {
        Target owner;
        if (ViStatus status = resolveObject(registry, handle, kinds, owner)) return status;
        if (const Object* referred = owner.object->*slot)
            *target = newObjectHandle(registry, owner.storeId, referred);
        return VI_SUCCESS;
    });
}

ViStatus getCount(void* collection, Kind itemKind, ViInt32* count) noexcept {
    if (!count) return nullPointer("Count");
    return locked([&](Registry& registry) -> ViStatus {
        const Entry* entry;
        if (ViStatus status = resolveCollection(registry, collection, itemKind, entry))
            return status;
        *count = static_cast<ViInt32>(entry->collection.items->size());
        return VI_SUCCESS;
    });
}

ViStatus getItemByIndex(void* collection, Kind itemKind, ViInt32 index, void** item) noexcept {
    if (!item) return nullPointer("Item");
    *item = nullptr;
    return locked([&](Registry& registry) -> ViStatus {
        const Entry* entry;
        if (ViStatus status = resolveCollection(registry, collection, itemKind, entry))
            return status;
        const Items& items = *entry->collection.items;
        if (index < 1 || static_cast<std::size_t>(index) > items.size())
            return setError(IVICONFIG_ERROR_NOT_EXIST,
                            "No " + std::string(kindName(itemKind)) + " at index " +
                                std::to_string(index) + ": the collection holds " +
                                std::to_string(items.size()) + ", indexed from 1");
        *item = newObjectHandle(registry, entry->store, items[index - 1]);
        return VI_SUCCESS;
    });
}

ViStatus getItemByName(void* collection, Kind itemKind, const char* name, void** item) noexcept {
    if (!item) return nullPointer("Item");
    *item = nullptr;
    if (!name) return nullPointer("Name");
    return locked([&](Registry& registry) -> ViStatus {
        const Entry* entry;
        if (ViStatus status = resolveCollection(registry, collection, itemKind, entry))
            return status;
        const Items& items = *entry->collection.items;
        auto it = std::find_if(items.begin(), items.end(),
                               [&](const Object* o) { return o->name() == name; });
        if (it == items.end())
            return setError(IVICONFIG_ERROR_NOT_EXIST, "No " + std::string(kindName(itemKind)) +
                                                           " named '" + name +
                                                           "' in the collection");
        *item = newObjectHandle(registry, entry->store, *it);
        return VI_SUCCESS;
    });
}

ViStatus getErrorText(ViInt32 size, ViChar* buffer) noexcept {
    // A failure here is not recorded: it would replace the text being asked for.
    if (size > 0 && !buffer) return IVICONFIG_ERROR_NULL_POINTER;
    return copyText(lastError(), size, buffer);
}

}  // namespace qmdc::iviconfig
