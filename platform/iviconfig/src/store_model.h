// The in-memory form of a configuration store: a tree of objects that the
// loader builds once and the C interface only reads.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qmdc::iviconfig {

enum class Kind {
    Store,  // the root object: the store's own scalar properties and global collections
    PublishedAPI,
    SoftwareModule,
    HardwareAsset,
    DriverSession,
    Session,
    LogicalName,
    VirtualName,
    VirtualRange,
    PhysicalName,
    PhysicalRange,
    DataComponent,
};

// A data component's type, given by its element name.
enum class DataType { Structure, String, Integer, Real, Boolean, APIReference, Other };

// The name of a kind in messages: its element name ("IviDriverSession").
const char* kindName(Kind kind);

// True when an object of kind `actual` may be used where `wanted` is asked
// for: a driver session is also a session.
bool kindFits(Kind wanted, Kind actual);

struct Object;
using Items = std::vector<const Object*>;

struct Object {
    Kind kind = Kind::Store;
    DataType dataType = DataType::Other;        // data components only
    int line = 0;                               // where the element starts in its file
    std::map<std::string, std::string> fields;  // scalar child elements: name -> text
    std::map<std::string, Items> collections;   // container element name -> items
    const Object* hardwareAsset = nullptr;      // sessions
    const Object* softwareModule = nullptr;     // sessions
    const Object* session = nullptr;            // logical names
    const Object* publishedApi = nullptr;       // API reference data components

    const std::string& field(const std::string& name) const;  // "" when absent
    const Items& items(const std::string& container) const;   // empty when absent
    const std::string& name() const { return field("Name"); }
    const Object* itemNamed(const std::string& container, const std::string& name) const;
};

struct Store {
    std::vector<std::unique_ptr<Object>> pool;  // owns every object, root first
    const Object* root = nullptr;
};

// The store a handle sees before anything was loaded into it. It lives for
// the whole process so that handles taken from it never dangle.
const Store& emptyStore();

}  // namespace qmdc::iviconfig
