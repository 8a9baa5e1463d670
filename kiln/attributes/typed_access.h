// Typed Get and Set of registered attributes: the lookup, the checks of the
// value type and of the access, then the attribute's own callback. They take
// no lock and touch no instrument themselves; the callbacks do.
#pragma once

#include "value_type.h"

namespace kiln {

class AttributeRegistry;

// A string getter never leaves a value this long or longer.
constexpr ViInt32 MAX_STRING_ATTRIBUTE_LENGTH = 4096;

template <class T>
ViStatus GetAttribute(ViSession vi, ViConstString channel, ViAttr id, T* value);
template <class T>
ViStatus SetAttribute(ViSession vi, ViConstString channel, ViAttr id, T value);

// Buffer rules: size 0 (or a null buffer with size 0) answers 4096 without
// reading; a null buffer with another size is refused; a negative size
// promises room for 4096 characters with the terminator, and the getter's
// status comes back as is; a positive size is the getter's. A value that fills
// the buffer, or one cut at 4095 characters, answers 4096.
ViStatus GetAttributeText(ViSession vi, ViConstString channel, ViAttr id, ViInt32 bufferSize,
                          ViChar value[]);
ViStatus SetAttributeText(ViSession vi, ViConstString channel, ViAttr id, ViConstString value);

// The same on another registry than the driver's (for tests of the checks).
template <class T>
ViStatus GetAttribute(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                      ViAttr id, T* value);
template <class T>
ViStatus SetAttribute(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                      ViAttr id, T value);
ViStatus GetAttributeText(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                          ViAttr id, ViInt32 bufferSize, ViChar value[]);
ViStatus SetAttributeText(const AttributeRegistry& registry, ViSession vi, ViConstString channel,
                          ViAttr id, ViConstString value);

}  // namespace kiln
