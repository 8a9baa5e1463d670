// Which property ids each kind of object has, their types and the store
// elements they read.
#pragma once

#include <string>

#include "store_model.h"

namespace qmdc::iviconfig {

enum class ValueType { String, Int32, Real64, Boolean, None };

struct PropertyRow {
    Kind kind;
    int id;
    ValueType type;
    const char* element;      // nullptr: the value is not in the file (store locations)
    const char* defaultText;  // read when the element is absent or empty
};

// The row of property `id` of `object`, or nullptr when it has none.
const PropertyRow* findProperty(const Object& object, int id);

// The type a property holds on this object; a data component's value takes
// the type of the component, and a structure has no value.
ValueType valueTypeOf(const Object& object, const PropertyRow& row);

const char* valueTypeName(ValueType type);

// The text of a property as stored (the default when absent or empty).
std::string propertyText(const Object& object, const PropertyRow& row);

// Checks that the text of the scalar element `element` of `object` parses
// when it holds a typed property; returns a description of what is wrong, or
// an empty text when it does.
std::string checkTypedField(const Object& object, const std::string& element,
                            const std::string& text);

}  // namespace qmdc::iviconfig
