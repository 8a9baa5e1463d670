#include "physical_names.h"

#include <map>
#include <mutex>

#include "resolve_selector.h"
#include "../lifecycle/session_lifecycle.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"

namespace kiln {
namespace {

struct TableRegistry {
    std::mutex mutex;
    std::map<ViSession, PhysicalNameTable> tables;
};

TableRegistry& Tables() {
    static TableRegistry* registry = [] {
        auto* created = new TableRegistry;  // outlives every session, so never destroyed
        AddSessionCloseHook([created](ViSession vi) {
            std::lock_guard<std::mutex> lock(created->mutex);
            created->tables.erase(vi);
        });
        return created;
    }();
    return *registry;
}

}  // namespace

const ChannelList& DefaultPhysicalNames() {
    static const ChannelList names = [] {
        ChannelList resolved;
        if (ResolveSelector(nullptr, RegisteredDriver().physicalNames, resolved, false) < 0) {
            resolved.clear();
        }
        return resolved;
    }();
    return names;
}

const ChannelList& SessionPhysicalNames(DriverSession& session) {
    PhysicalNameTable& own = session.PhysicalNameTableReference();
    if (own) return *own;
    TableRegistry& registry = Tables();
    std::lock_guard<std::mutex> lock(registry.mutex);
    PhysicalNameTable& table = registry.tables[session.GetHandle()];
    if (!table) table = std::make_shared<const ChannelList>(DefaultPhysicalNames());
    own = table;
    return *own;
}

size_t PhysicalNameTableCount() {
    TableRegistry& registry = Tables();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.tables.size();
}

}  // namespace kiln
