#include "store_model.h"

namespace qmdc::iviconfig {

const char* kindName(Kind kind) {
    static const char* const names[] = {
        "IviConfigStore",   "IviPublishedAPI", "IviSoftwareModule", "IviHardwareAsset",
        "IviDriverSession", "IviSession",      "IviLogicalName",    "IviVirtualName",
        "IviVirtualRange",  "IviPhysicalName", "IviPhysicalRange",  "IviDataComponent",
    };
    return names[static_cast<int>(kind)];
}

bool kindFits(Kind wanted, Kind actual) {
    return wanted == actual || (wanted == Kind::Session && actual == Kind::DriverSession);
}

const std::string& Object::field(const std::string& name) const {
    static const std::string none;
    auto it = fields.find(name);
    return it == fields.end() ? none : it->second;
}

const Items& Object::items(const std::string& container) const {
    static const Items none;
    auto it = collections.find(container);
    return it == collections.end() ? none : it->second;
}

const Object* Object::itemNamed(const std::string& container, const std::string& name) const {
    for (const Object* item : items(container))
        if (item->name() == name) return item;
    return nullptr;
}

const Store& emptyStore() {
    static const Store* const store = [] {
        auto* s = new Store;
        s->pool.push_back(std::make_unique<Object>());
        s->root = s->pool.front().get();
        return s;
    }();
    return *store;
}

}  // namespace qmdc::iviconfig
