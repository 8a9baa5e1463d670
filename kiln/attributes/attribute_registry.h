// The process-wide table of the driver's attributes: one descriptor per id,
// built from the driver's attribute table when the library is loaded and only
// read afterwards, without a lock.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "attribute_row.h"
#include "value_type.h"

namespace kiln {

template <class T>
struct TypedCallbacks {
    std::function<std::remove_pointer_t<Getter<T>>> getter;  // empty: not readable
    std::function<std::remove_pointer_t<Setter<T>>> setter;  // empty: not writable
};

using Invalidator =
    std::function<void(DriverSession& session, bool allChannels, const std::string& channel)>;

class AttributeDescriptor {
  public:
    // The type of the callbacks sets typeName, valueType and the invalidator.
    template <class T>
    AttributeDescriptor(ViAttr id, std::string name, TypedCallbacks<T> callbacks,
                        const AttributeRow* row = nullptr);

    ViAttr id;
    std::string name;
    const char* typeName;
    ValueType valueType;
    std::variant<TypedCallbacks<ViInt32>, TypedCallbacks<ViReal64>, TypedCallbacks<ViBoolean>,
                 TypedCallbacks<ViSession>, TypedCallbacks<Text>>
        callbacks;
    Invalidator invalidator;
    const AttributeRow* row;  // the table row behind it, if any

    template <class T>
    const TypedCallbacks<T>& Callbacks() const {
        return std::get<TypedCallbacks<T>>(callbacks);
    }
};

class AttributeRegistry {
  public:
    explicit AttributeRegistry(std::vector<AttributeDescriptor> descriptors);

    // The registry of the loaded driver.
    static const AttributeRegistry& Instance();

    // Null when no attribute has the id.
    const AttributeDescriptor* Find(ViAttr id) const;
    // Ordered by id.
    const std::vector<AttributeDescriptor>& All() const { return descriptors_; }

  private:
    std::vector<AttributeDescriptor> descriptors_;
};

// The descriptor that serves a table row: its own callbacks for a custom row,
// the generic ones otherwise.
AttributeDescriptor DescribeRow(const AttributeRow& row);

// What is wrong with a table, one line per problem (empty when nothing).
std::vector<std::string> AttributeTableProblems(const AttributeRow* rows, size_t count);

}  // namespace kiln
