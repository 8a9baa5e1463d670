#include "typed_access.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "attribute_registry.h"
#include "../session/call_frame.h"

namespace kiln {
namespace {

// The descriptor of id, if the caller used its value type.
ViStatus LookUp(const AttributeRegistry& registry, ViSession vi, ViAttr id, ValueType type,
                const char* direction, const AttributeDescriptor*& descriptor) {
    descriptor = registry.Find(id);
    if (descriptor == nullptr) {
        return ReportError(vi, QMDC_ERROR_INVALID_ATTRIBUTE, {std::to_string(id)});
    }
    if (descriptor->valueType != type) {
        return ReportError(vi, QMDC_ERROR_TYPES_DO_NOT_MATCH,
                           {direction, TypeName(type), descriptor->name, descriptor->typeName});
    }
    return VI_SUCCESS;
}

template <class T>
ViStatus FindGetter(const AttributeRegistry& registry, ViSession vi, ViAttr id,
                    const AttributeDescriptor*& descriptor) {
    const ViStatus status = LookUp(registry, vi, id, ValueTypeOf<T>::tag, "Get", descriptor);
    if (status < 0) return status;
    if (!descriptor->Callbacks<T>().getter) {
        return ReportError(vi, QMDC_ERROR_ATTR_NOT_READABLE, {descriptor->name});
    }
    return status;
}

template <class T>
ViStatus FindSetter(const AttributeRegistry& registry, ViSession vi, ViAttr id,
                    const AttributeDescriptor*& descriptor) {
    const ViStatus status = LookUp(registry, vi, id, ValueTypeOf<T>::tag, "Set", descriptor);
    if (status < 0) return status;
    if (!descriptor->Callbacks<T>().setter) {
        return ReportError(vi, QMDC_ERROR_ATTR_NOT_WRITABLE, {descriptor->name});
    }
    return status;
}

}  // namespace

template <class T>
ViStatus GetAttribute(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                      ViAttr id, T* value) {
    return Guarded(vi, [&]() -> ViStatus {
        const AttributeDescriptor* descriptor = nullptr;
        const ViStatus status = FindGetter<T>(registry, vi, id, descriptor);
        if (status < 0) return status;
        return descriptor->Callbacks<T>().getter(vi, channel, value);
    });
}

template <class T>
ViStatus SetAttribute(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                      ViAttr id, T value) {
    return Guarded(vi, [&]() -> ViStatus {
        const AttributeDescriptor* descriptor = nullptr;
        const ViStatus status = FindSetter<T>(registry, vi, id, descriptor);
        if (status < 0) return status;
        return descriptor->Callbacks<T>().setter(vi, channel, value);
    });
}

ViStatus GetAttributeText(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                          ViAttr id, ViInt32 bufferSize, ViChar value[]) {
    return Guarded(vi, [&]() -> ViStatus {
        const AttributeDescriptor* descriptor = nullptr;
        ViStatus status = FindGetter<Text>(registry, vi, id, descriptor);
        if (status < 0) return status;
        if (value == nullptr && bufferSize != 0) {
            return ReportError(vi, QMDC_ERROR_NULL_POINTER,
                               {"GetAttributeViString", "AttributeValueBufferSize"});
        }
        if (bufferSize == 0) return MAX_STRING_ATTRIBUTE_LENGTH;
        const auto& getter = descriptor->Callbacks<Text>().getter;
        // A negative size is the caller's promise of a buffer that holds any
        // value: MAX_STRING_ATTRIBUTE_LENGTH characters with the terminator.
        const bool promised = bufferSize < 0;
        const ViInt32 size = promised ? MAX_STRING_ATTRIBUTE_LENGTH : bufferSize;
        status = getter(vi, channel, size, value);
        if (status < 0) return status;
        // Never unterminated, and no value is longer than 4095 characters,
        // whatever room the caller has.
        const size_t limit = std::min<size_t>(size, MAX_STRING_ATTRIBUTE_LENGTH);
        const size_t length = strnlen(value, limit);
        const bool cut = length == limit;
        if (cut) value[limit - 1] = '\0';
        if (promised) return status;
        // Cut, or filled to the last byte: the buffer may have been too small.
        if (cut || length + 1 == static_cast<size_t>(size)) return MAX_STRING_ATTRIBUTE_LENGTH;
        return status;
    });
}

ViStatus SetAttributeText(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                          ViAttr id, ViConstString value) {
    return Guarded(vi, [&]() -> ViStatus {
        const AttributeDescriptor* descriptor = nullptr;
        const ViStatus status = FindSetter<Text>(registry, vi, id, descriptor);
        if (status < 0) return status;
        return descriptor->Callbacks<Text>().setter(vi, channel, value);
    });
}

template <class T>
ViStatus GetAttribute(ViSession vi, ViConstString channel, ViAttr id, T* value) {
    return GetAttribute(AttributeRegistry::Instance(), vi, channel, id, value);
}

template <class T>
ViStatus SetAttribute(ViSession vi, ViConstString channel, ViAttr id, T value) {
    return SetAttribute(AttributeRegistry::Instance(), vi, channel, id, value);
}

ViStatus GetAttributeText(ViSession vi, ViConstString channel, ViAttr id, ViInt32 bufferSize,
                          ViChar value[]) {
    return GetAttributeText(AttributeRegistry::Instance(), vi, channel, id, bufferSize, value);
}

ViStatus SetAttributeText(ViSession vi, ViConstString channel, ViAttr id, ViConstString value) {
    return SetAttributeText(AttributeRegistry::Instance(), vi, channel, id, value);
}

#define QMDC_TYPED_ACCESS(T)                                                                   \
    template ViStatus GetAttribute(ViSession, ViConstString, ViAttr, T*);                      \
    template ViStatus SetAttribute(ViSession, ViConstString, ViAttr, T);                       \
    template ViStatus GetAttribute(const AttributeRegistry&, ViSession, ViConstString, ViAttr, \
                                   T*);                                                        \
    template ViStatus SetAttribute(const AttributeRegistry&, ViSession, ViConstString, ViAttr, T);
QMDC_TYPED_ACCESS(ViInt32)
QMDC_TYPED_ACCESS(ViReal64)
QMDC_TYPED_ACCESS(ViBoolean)
QMDC_TYPED_ACCESS(ViSession)
#undef QMDC_TYPED_ACCESS

}  // namespace kiln
