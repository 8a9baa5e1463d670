#include "store_loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "property_table.h"
#include "value_text.h"

namespace qmdc::iviconfig {
namespace {

using K = Kind;

// A collection element and what it holds. `item` nullptr: any element (data
// components, typed by their element name). `byReference`: the items are
// idrefs to global objects. `named`: the collection has ItemByName, so names
// must be unique in it.
struct ContainerRow {
    Kind owner;
    const char* container;
    const char* item;
    Kind itemKind;
    bool byReference;
    bool named;
};

const ContainerRow kContainers[] = {
    {K::Store, "PublishedAPIs", "IviPublishedAPI", K::PublishedAPI, false, false},
    {K::Store, "SoftwareModules", "IviSoftwareModule", K::SoftwareModule, false, true},
    {K::Store, "HardwareAssets", "IviHardwareAsset", K::HardwareAsset, false, true},
    {K::Store, "DriverSessions", "IviDriverSession", K::DriverSession, false, true},
    {K::Store, "Sessions", "IviSession", K::Session, false, true},
    {K::Store, "LogicalNames", "IviLogicalName", K::LogicalName, false, true},
    {K::SoftwareModule, "PublishedAPIs", "IviPublishedAPI", K::PublishedAPI, true, false},
    {K::SoftwareModule, "PhysicalNames", "IviPhysicalName", K::PhysicalName, false, true},
    {K::SoftwareModule, "DataComponents", nullptr, K::DataComponent, false, true},
    {K::HardwareAsset, "DataComponents", nullptr, K::DataComponent, false, true},
    {K::Session, "DataComponents", nullptr, K::DataComponent, false, true},
    {K::Session, "VirtualNames", "IviVirtualName", K::VirtualName, false, true},
    {K::DriverSession, "DataComponents", nullptr, K::DataComponent, false, true},
    {K::DriverSession, "VirtualNames", "IviVirtualName", K::VirtualName, false, true},
    {K::VirtualName, "VirtualRanges", "IviVirtualRange", K::VirtualRange, false, false},
    {K::PhysicalName, "PhysicalNames", "IviPhysicalName", K::PhysicalName, false, true},
    {K::PhysicalName, "PhysicalRanges", "IviPhysicalRange", K::PhysicalRange, false, false},
    {K::DataComponent, "DataComponents", nullptr, K::DataComponent, false, true},
};

// A reference: an element carrying an idref to a global object of the
// `target` (or `alsoTarget`) kind, stored in `slot`.
struct ReferenceRow {
    Kind owner;
    const char* element;
    const Object* Object::*slot;
    Kind target;
    Kind alsoTarget;
};

const ReferenceRow kReferences[] = {
    {K::Session, "IviHardwareAsset", &Object::hardwareAsset, K::HardwareAsset, K::HardwareAsset},
    {K::DriverSession, "IviHardwareAsset", &Object::hardwareAsset, K::HardwareAsset,
     K::HardwareAsset},
    {K::Session, "IviSoftwareModuleRef", &Object::softwareModule, K::SoftwareModule,
     K::SoftwareModule},
    {K::DriverSession, "IviSoftwareModuleRef", &Object::softwareModule, K::SoftwareModule,
     K::SoftwareModule},
    {K::Session, "IviSoftwareModule", &Object::softwareModule, K::SoftwareModule,
     K::SoftwareModule},
    {K::DriverSession, "IviSoftwareModule", &Object::softwareModule, K::SoftwareModule,
     K::SoftwareModule},
    {K::LogicalName, "IviDriverSession", &Object::session, K::DriverSession, K::Session},
    {K::LogicalName, "IviSession", &Object::session, K::DriverSession, K::Session},
    {K::DataComponent, "IviPublishedAPI", &Object::publishedApi, K::PublishedAPI, K::PublishedAPI},
};

struct DataTypeRow {
    const char* element;
    const char* typeText;
    DataType type;
};

const DataTypeRow kDataTypes[] = {
    {"IviStructure", "Structure", DataType::Structure},
    {"IviString", "String", DataType::String},
    {"IviInteger", "Integer", DataType::Integer},
    {"IviReal", "Real", DataType::Real},
    {"IviBoolean", "Boolean", DataType::Boolean},
    {"IviAPIReference", "APIReference", DataType::APIReference},
};

// Structures and physical names nest; a file nesting deeper than this is
// refused rather than allowed to exhaust the stack.
constexpr int kMaxDepth = 64;

bool hasElementChild(const pugi::xml_node& node) {
    for (const pugi::xml_node& child : node.children())
        if (child.type() == pugi::node_element) return true;
    return false;
}

class LoadFailure : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Line numbers of offsets into a text: the offsets of its line feeds are
// collected once, so each lookup is a binary search rather than a count from
// the start of the file (which made loading quadratic in its size).
class LineIndex {
  public:
    explicit LineIndex(const std::string& text) {
        for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
            feeds_.push_back(i);
    }
    // 1 for the first line; 0 for an unknown offset.
    int lineAt(std::ptrdiff_t offset) const {
        if (offset < 0) return 0;
        const auto before =
            std::lower_bound(feeds_.begin(), feeds_.end(), static_cast<std::size_t>(offset));
        return 1 + static_cast<int>(before - feeds_.begin());
    }

  private:
    std::vector<std::size_t> feeds_;
};

class Loader {
  public:
    Loader(const std::string& text, std::string source)
        : text_(text), lines_(text), source_(std::move(source)) {}

    std::unique_ptr<Store> run(std::string& error) {
        try {
            pugi::xml_document doc;
            const pugi::xml_parse_result parsed =
                doc.load_buffer(text_.data(), text_.size(), pugi::parse_default);
            if (!parsed) fail(lineAt(parsed.offset), parsed.description());
            const pugi::xml_node root = doc.document_element();
            if (std::string_view(root.name()) != "IviConfigStore")
                fail(lineOf(root), "the root element is <" + std::string(root.name()) +
                                       ">, not <IviConfigStore>");
            store_->root = load(root, K::Store, DataType::Other, 0);
            resolveReferences();
            checkNames();
            return std::move(store_);
        } catch (const LoadFailure& failure) {
            error = failure.what();
            return nullptr;
        }
    }

  private:
    struct Pending {
        Object* owner;
        const Object* Object::*slot;  // nullptr: append to owner's `container`
        const char* container;
        Kind target, alsoTarget;
        std::string id;
        int line;
    };

    int lineAt(std::ptrdiff_t offset) const { return lines_.lineAt(offset); }
    int lineOf(const pugi::xml_node& node) const { return lineAt(node.offset_debug()); }

    [[noreturn]] void fail(int line, const std::string& what) const {
        throw LoadFailure(source_ + (line > 0 ? ": line " + std::to_string(line) : "") + ": " +
                          what);
    }

    Object* load(const pugi::xml_node& node, Kind kind, DataType type, int depth) {
        if (depth > kMaxDepth) fail(lineOf(node), "elements nest too deeply");
        store_->pool.push_back(std::make_unique<Object>());
        Object* object = store_->pool.back().get();
        object->kind = kind;
        object->dataType = type;
        object->line = lineOf(node);
        const std::string id = node.attribute("id").value();
        if (!id.empty() && !ids_.emplace(id, object).second)
            fail(object->line, "the id '" + id + "' is given twice");

        for (const pugi::xml_node& child : node.children()) {
            if (child.type() != pugi::node_element) continue;
            if (const ContainerRow* row = containerRow(kind, child.name())) {
                loadContainer(*object, child, *row, depth);
            } else if (const ReferenceRow* row = referenceRow(kind, child.name())) {
                addReference(*object, child, row->slot, nullptr, row->target, row->alsoTarget);
            } else if (hasElementChild(child)) {
                // A wrapper around a reference; other structured elements are
                // not used by this server.
                for (const pugi::xml_node& inner : child.children())
                    if (const ReferenceRow* row = referenceRow(kind, inner.name()))
                        addReference(*object, inner, row->slot, nullptr, row->target,
                                     row->alsoTarget);
            } else {
                addField(*object, child);
            }
        }
        if (kind == K::DataComponent) settleDataType(*object, node);
        return object;
    }

    void addField(Object& object, const pugi::xml_node& node) const {
        const std::string name = node.name();
        const std::string text = node.text().get();
        if (!object.fields.emplace(name, text).second)
            fail(lineOf(node), "<" + name + "> is given twice");
        const std::string bad = checkTypedField(object, name, text);
        if (!bad.empty()) fail(lineOf(node), bad);
    }

    void loadContainer(Object& owner, const pugi::xml_node& node, const ContainerRow& row,
                       int depth) {
        Items& items = owner.collections[row.container];
        for (const pugi::xml_node& item : node.children()) {
            if (item.type() != pugi::node_element) continue;
            const std::string_view name = item.name();
            if (row.item && name != row.item)
                fail(lineOf(item), "<" + std::string(name) + "> inside <" + row.container +
                                       ">, where <" + row.item + "> is expected");
            if (row.byReference)
                addReference(owner, item, nullptr, row.container, row.itemKind, row.itemKind);
            else
                items.push_back(load(item, row.itemKind, dataTypeOf(name), depth + 1));
        }
    }

    void addReference(Object& owner, const pugi::xml_node& node, const Object* Object::*slot,
                      const char* container, Kind target, Kind alsoTarget) {
        const std::string id = node.attribute("idref").value();
        if (!id.empty())
            pending_.push_back({&owner, slot, container, target, alsoTarget, id, lineOf(node)});
    }

    void resolveReferences() {
        for (const Pending& ref : pending_) {
            auto it = ids_.find(ref.id);
            if (it == ids_.end())
                fail(ref.line, "the idref '" + ref.id + "' matches no id in the store");
            const Object* target = it->second;
            if (target->kind != ref.target && target->kind != ref.alsoTarget)
                fail(ref.line, "the idref '" + ref.id + "' names an " + kindName(target->kind) +
                                   " where an " + kindName(ref.target) + " is expected");
            if (ref.slot)
                ref.owner->*ref.slot = target;
            else
                ref.owner->collections[ref.container].push_back(target);
        }
    }

    // Names must be unique where ItemByName looks them up.
    void checkNames() const {
        for (const auto& object : store_->pool) {
            for (const auto& [container, items] : object->collections) {
                const ContainerRow* row = containerRow(object->kind, container.c_str());
                if (!row || !row->named) continue;
                std::set<std::string> names;
                for (const Object* item : items)
                    if (!names.insert(item->name()).second)
                        fail(item->line, "the name '" + item->name() + "' is given twice in <" +
                                             container + ">");
            }
        }
    }

    // The element name fixes a data component's type; a <Type> child must agree.
    void settleDataType(Object& object, const pugi::xml_node& node) const {
        std::string& typeText = object.fields["Type"];
        for (const DataTypeRow& row : kDataTypes) {
            if (row.type != object.dataType) continue;
            if (!trimmed(typeText).empty() && !equalsNoCase(trimmed(typeText), row.typeText))
                fail(object.line, "<" + std::string(node.name()) + "> '" + object.name() +
                                      "' has the type '" + typeText + "'");
            typeText = row.typeText;
            return;
        }
        if (trimmed(typeText).empty()) {
            const std::string_view element = node.name();
            typeText = element.substr(element.rfind("Ivi", 0) == 0 ? 3 : 0);
        }
    }

    static DataType dataTypeOf(std::string_view element) {
        for (const DataTypeRow& row : kDataTypes)
            if (element == row.element) return row.type;
        return DataType::Other;
    }

    static const ContainerRow* containerRow(Kind owner, const char* element) {
        for (const ContainerRow& row : kContainers)
            if (row.owner == owner && std::string_view(element) == row.container) return &row;
        return nullptr;
    }

    static const ReferenceRow* referenceRow(Kind owner, const char* element) {
        for (const ReferenceRow& row : kReferences)
            if (row.owner == owner && std::string_view(element) == row.element) return &row;
        return nullptr;
    }

    const std::string& text_;
    const LineIndex lines_;
    const std::string source_;
    std::unique_ptr<Store> store_ = std::make_unique<Store>();
    std::map<std::string, Object*> ids_;
    std::vector<Pending> pending_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

const char kBuiltInStore[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<IviConfigStore>
  <Name>IVI Configuration Server</Name>
  <Description>Built-in store: the QmDC driver as its installer registers it</Description>
  <SpecificationMajorVersion>1</SpecificationMajorVersion>
  <SpecificationMinorVersion>0</SpecificationMinorVersion>
  <SoftwareModules>
    <IviSoftwareModule id="p1">
      <Name>QmDC</Name>
      <Description>IVI-C Driver for OrvaneDC</Description>
      <DataComponents/>
      <Prefix>QmDC</Prefix>
      <SupportedInstrumentModels>Bench 30-33 QM,Bench 50-20 QM,Bench 100-10 QM,Bench 200-5 QM,Bench 400-2.5 QM,Rack 30-70 QM,Rack 50-40 QM,Rack 100-20 QM,Rack 200-10 QM,Rack 400-5 QM</SupportedInstrumentModels>
      <PhysicalNames/>
      <PublishedAPIs/>
    </IviSoftwareModule>
  </SoftwareModules>
  <HardwareAssets/>
  <DriverSessions/>
  <Sessions/>
  <LogicalNames/>
</IviConfigStore>
)";

}  // namespace

std::unique_ptr<Store> loadStoreText(const std::string& text, const std::string& source,
                                     std::string& error) {
    return Loader(text, source).run(error);
}

std::string storeSource(const std::string& path) {
    return "Configuration store '" + path + "'";
}

namespace {

const char* fileKind(std::filesystem::file_type type) {
    using std::filesystem::file_type;
    switch (type) {
        case file_type::directory:
            return "a directory";
        case file_type::fifo:
            return "a FIFO";
        case file_type::character:
            return "a character device";
        case file_type::block:
            return "a block device";
        case file_type::socket:
            return "a socket";
        default:
            return "not a regular file";
    }
}

}  // namespace

bool readStoreFile(const std::string& path, std::string& text, std::string& error) {
    auto failure = [&](const std::string& what) {
        error = storeSource(path) + ": " + what;
        return false;
    };
    // Only a regular file of a bounded size: a FIFO would block every init
    // and a device like /dev/zero would be read without end.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec) return failure("cannot open the file: " + ec.message());
    if (!std::filesystem::is_regular_file(status)) {
        return failure(std::string("is ") + fileKind(status.type()) +
                       ", not a regular file; it is not read");
    }
    const std::string tooLarge =
        "is larger than " + std::to_string(kMaxStoreFileBytes >> 20) + " MiB; it is not read";
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxStoreFileBytes) return failure(tooLarge);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return failure("cannot open the file: " + std::generic_category().message(errno));
    text.clear();
    char chunk[16384];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        text.append(chunk, n);
        if (text.size() > kMaxStoreFileBytes) return failure(tooLarge);  // it grew meanwhile
    }
    if (std::ferror(file.get())) {
        return failure("cannot read the file: " + std::generic_category().message(errno));
    }
    return true;
}

std::unique_ptr<Store> builtInStore(std::string& error) {
    return loadStoreText(kBuiltInStore, "Built-in configuration store", error);
}

}  // namespace qmdc::iviconfig
