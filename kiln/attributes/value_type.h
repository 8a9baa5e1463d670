// The five value types of driver attributes, the C type behind each, and the
// shapes of the getter and setter callbacks for them.
#pragma once

#include <string>

#include "visatype.h"

namespace kiln {

enum class ValueType { Int32, Real64, Boolean, Session, String };

// The C type name of a value type, as error messages spell it ("ViInt32").
const char* TypeName(ValueType type);

// Stands for ViString values in templates (the value itself travels as a
// buffer and its size, not as one C object).
struct Text {};

template <class T>
struct ValueTypeOf;
template <>
struct ValueTypeOf<ViInt32> {
    static constexpr ValueType tag = ValueType::Int32;
};
template <>
struct ValueTypeOf<ViReal64> {
    static constexpr ValueType tag = ValueType::Real64;
};
template <>
struct ValueTypeOf<ViBoolean> {
    static constexpr ValueType tag = ValueType::Boolean;
};
template <>
struct ValueTypeOf<ViSession> {
    static constexpr ValueType tag = ValueType::Session;
};
template <>
struct ValueTypeOf<Text> {
    static constexpr ValueType tag = ValueType::String;
};

// Callback shapes: every callback is a plain function of the session handle,
// the caller's channel argument and the value.
template <class T>
struct CallbackShape {
    using Getter = ViStatus (*)(ViSession vi, ViConstString channel, T* value);
    using Setter = ViStatus (*)(ViSession vi, ViConstString channel, T value);
};
template <>
struct CallbackShape<Text> {
    using Getter = ViStatus (*)(ViSession vi, ViConstString channel, ViInt32 bufferSize,
                                ViChar value[]);
    using Setter = ViStatus (*)(ViSession vi, ViConstString channel, ViConstString value);
};

template <class T>
using Getter = typename CallbackShape<T>::Getter;
template <class T>
using Setter = typename CallbackShape<T>::Setter;

}  // namespace kiln
