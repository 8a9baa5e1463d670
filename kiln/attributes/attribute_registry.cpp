#include "attribute_registry.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "cache_manager.h"
#include "generic_callbacks.h"
#include "../session/driver_definition.h"

namespace kiln {

template <class T>
AttributeDescriptor::AttributeDescriptor(ViAttr id, std::string name, TypedCallbacks<T> callbacks,
                                         const AttributeRow* row)
    : id(id),
      name(std::move(name)),
      typeName(TypeName(ValueTypeOf<T>::tag)),
      valueType(ValueTypeOf<T>::tag),
      callbacks(std::move(callbacks)),
      invalidator([id](DriverSession& session, bool allChannels, const std::string& channel) {
          InvalidateCachedAttribute<T>(session, id, allChannels, channel);
      }),
      row(row) {}

template AttributeDescriptor::AttributeDescriptor(ViAttr, std::string, TypedCallbacks<ViInt32>,
                                                  const AttributeRow*);
template AttributeDescriptor::AttributeDescriptor(ViAttr, std::string, TypedCallbacks<ViReal64>,
                                                  const AttributeRow*);
template AttributeDescriptor::AttributeDescriptor(ViAttr, std::string, TypedCallbacks<ViBoolean>,
                                                  const AttributeRow*);
template AttributeDescriptor::AttributeDescriptor(ViAttr, std::string, TypedCallbacks<ViSession>,
                                                  const AttributeRow*);
template AttributeDescriptor::AttributeDescriptor(ViAttr, std::string, TypedCallbacks<Text>,
                                                  const AttributeRow*);

namespace {

template <class T>
AttributeDescriptor DescribeAs(const AttributeRow& row) {
    TypedCallbacks<T> callbacks;
    if (row.behaviour.kind == BehaviourKind::Custom) {
        if (const auto* pair = std::get_if<CallbackPair<T>>(&row.behaviour.custom)) {
            if (pair->get != nullptr) callbacks.getter = pair->get;
            if (pair->set != nullptr) callbacks.setter = pair->set;
        }
        return AttributeDescriptor(row.id, row.name, std::move(callbacks), &row);
    }
    if constexpr (std::is_same_v<T, Text>) {
        callbacks.getter = [&row](ViSession vi, ViConstString channel, ViInt32 size,
                                  ViChar value[]) {
            return GenericGetText(row, vi, channel, size, value);
        };
    } else {
        callbacks.getter = [&row](ViSession vi, ViConstString channel, T* value) {
            return GenericGet(row, vi, channel, value);
        };
        if (row.access == Access::ReadWrite) {
            callbacks.setter = [&row](ViSession vi, ViConstString channel, T value) {
                return GenericSet(row, vi, channel, value);
            };
        }
    }
    return AttributeDescriptor(row.id, row.name, std::move(callbacks), &row);
}

std::vector<AttributeDescriptor> DescribeTable(const DriverDefinition& driver) {
    std::vector<AttributeDescriptor> descriptors;
    descriptors.reserve(driver.attributeCount);
    for (size_t i = 0; i < driver.attributeCount; ++i) {
        descriptors.push_back(DescribeRow(driver.attributes[i]));
    }
    return descriptors;
}

// Built while the library is loaded, before any session exists.
const AttributeRegistry registry(DescribeTable(RegisteredDriver()));

bool CustomTypeMatches(const AttributeRow& row) {
    switch (row.type) {
        case ValueType::Int32:
            return std::holds_alternative<CallbackPair<ViInt32>>(row.behaviour.custom);
        case ValueType::Real64:
            return std::holds_alternative<CallbackPair<ViReal64>>(row.behaviour.custom);
        case ValueType::Boolean:
            return std::holds_alternative<CallbackPair<ViBoolean>>(row.behaviour.custom);
        case ValueType::Session:
            return std::holds_alternative<CallbackPair<ViSession>>(row.behaviour.custom);
        case ValueType::String:
            return std::holds_alternative<CallbackPair<Text>>(row.behaviour.custom);
    }
    return false;
}

// What is wrong with one row, judged on its own.
std::vector<std::string> RowProblems(const AttributeRow& row) {
    std::vector<std::string> problems;
    auto problem = [&](const std::string& what) { problems.push_back(what); };
    const Behaviour& b = row.behaviour;
    const bool writable = row.access == Access::ReadWrite;
    const bool scalar = row.type == ValueType::Int32 || row.type == ValueType::Real64;
    switch (b.kind) {
        case BehaviourKind::Constant:
            if (writable) problem("a constant cannot be written");
            if (row.type == ValueType::String ? b.text == nullptr : !scalar) {
                problem("a constant needs a number or a text function");
            }
            break;
        case BehaviourKind::SessionText:
            if (row.type != ValueType::String || writable || b.sessionText == nullptr) {
                problem("a session text is a read-only ViString with a text function");
            }
            break;
        case BehaviourKind::OptionFlag:
            if (row.type != ValueType::Boolean || b.flag == nullptr ||
                (writable && b.setFlag == nullptr)) {
                problem("an option flag is a ViBoolean with its accessors");
            }
            break;
        case BehaviourKind::Instrument:
            if (b.query == nullptr || b.scan == nullptr) problem("no query or scan format");
            if (writable && b.command == nullptr) problem("writable without a command");
            if (row.type == ValueType::Session) problem("no instrument attribute is a ViSession");
            if (row.type == ValueType::Boolean && b.map == nullptr)
                problem("a Boolean needs a map");
            if (b.map != nullptr && row.type != ValueType::Int32 &&
                row.type != ValueType::Boolean) {
                problem("only ViInt32 and ViBoolean values convert through a map");
            }
            if (row.type == ValueType::String && (writable || row.simulated.text == nullptr)) {
                problem("a text is read-only with a fixed simulated text");
            }
            // A text is read with its size and buffer as the first conversion's
            // arguments, and the count read is taken right after it.
            if (row.type == ValueType::String && b.scan != nullptr &&
                std::strncmp(b.scan, "%#", 2) != 0) {
                problem("a text's scan starts with a counted conversion (\"%#\")");
            }
            if (row.simulated.answer == SimulatedAnswer::None) problem("no simulated answer");
            if (row.simulated.answer == SimulatedAnswer::StoredElseDefault &&
                (row.cache != CacheRule::Stored || !writable)) {
                problem("only a stored, writable attribute answers what was stored");
            }
            break;
        case BehaviourKind::Alias:
            if (b.target == row.id) problem("an alias of itself");
            break;
        case BehaviourKind::SingleValue:
            if (b.refusalName == nullptr) problem("no name for a refused value");
            if (row.type != ValueType::Int32 && row.type != ValueType::Boolean) {
                problem("a single value is a ViInt32 or a ViBoolean");
            }
            break;
        case BehaviourKind::Unsupported:
            break;
        case BehaviourKind::Custom: {
            if (!CustomTypeMatches(row)) {
                problem("its callbacks are not of its type");
                break;
            }
            const auto descriptor = DescribeRow(row);
            bool readable = false, hasSetter = false;
            std::visit(
                [&](const auto& callbacks) {
                    readable = static_cast<bool>(callbacks.getter);
                    hasSetter = static_cast<bool>(callbacks.setter);
                },
                descriptor.callbacks);
            if (!readable) problem("no getter");
            if (hasSetter != writable) problem("its setter does not match its access");
            break;
        }
    }
    if (row.cache == CacheRule::Stored && b.kind != BehaviourKind::Instrument) {
        problem("only instrument attributes are stored");
    }
    return problems;
}

}  // namespace

AttributeDescriptor DescribeRow(const AttributeRow& row) {
    switch (row.type) {
        case ValueType::Int32:
            return DescribeAs<ViInt32>(row);
        case ValueType::Real64:
            return DescribeAs<ViReal64>(row);
        case ValueType::Boolean:
            return DescribeAs<ViBoolean>(row);
        case ValueType::Session:
            return DescribeAs<ViSession>(row);
        case ValueType::String:
            break;
    }
    return DescribeAs<Text>(row);
}

AttributeRegistry::AttributeRegistry(std::vector<AttributeDescriptor> descriptors)
    : descriptors_(std::move(descriptors)) {
    std::stable_sort(descriptors_.begin(), descriptors_.end(),
                     [](const auto& a, const auto& b) { return a.id < b.id; });
}

const AttributeRegistry& AttributeRegistry::Instance() {
    return registry;
}

const AttributeDescriptor* AttributeRegistry::Find(ViAttr id) const {
    auto it = std::lower_bound(descriptors_.begin(), descriptors_.end(), id,
                               [](const AttributeDescriptor& d, ViAttr key) { return d.id < key; });
    return it != descriptors_.end() && it->id == id ? &*it : nullptr;
}

std::vector<std::string> AttributeTableProblems(const AttributeRow* rows, size_t count) {
    std::vector<std::string> problems;
    const std::string prefix = RegisteredDriver().attributePrefix;
    std::set<ViAttr> ids;
    for (size_t i = 0; i < count; ++i) {
        const AttributeRow& row = rows[i];
        const std::string name = row.name != nullptr ? row.name : "";
        if (name.compare(0, prefix.size(), prefix) != 0) {
            problems.push_back(name + ": its name does not begin with " + prefix);
        }
        if (!ids.insert(row.id).second) problems.push_back(name + ": its id is used twice");
        for (const auto& problem : RowProblems(row)) problems.push_back(name + ": " + problem);
    }
    for (size_t i = 0; i < count; ++i) {
        const AttributeRow& row = rows[i];
        if (row.behaviour.kind != BehaviourKind::Alias) continue;
        const AttributeRow* target = std::find_if(rows, rows + count, [&](const AttributeRow& r) {
            return r.id == row.behaviour.target;
        });
        if (target == rows + count || target->type != row.type || target->access != row.access) {
            problems.push_back(std::string(row.name) +
                               ": its target is not of its type and access");
        }
    }
    return problems;
}

}  // namespace kiln
