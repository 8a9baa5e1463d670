// attributes.h - the attributes a session knows: type, owner and access.
#pragma once

#include "visa.h"

namespace qmdc::visa {

enum class AttrType : unsigned char { U8, U16, U32, Bool, Str };
// Which sessions have the attribute.
enum class AttrScope : unsigned char { Any, Tcp, Serial };

struct AttrDesc {
    ViAttr id;
    AttrType type;
    AttrScope scope;
    bool writable;
};

// A value on its way to the caller: numbers in `num`, strings in `str`.
struct AttrValue {
    ViUInt32 num = 0;
    char str[256] = {};
    void setString(const char* text);
};

// Null for an attribute this library does not know.
const AttrDesc* findAttr(ViAttr id);

// Checks a viSetAttribute value against the attribute's type and narrows it;
// VI_ERROR_NSUP_ATTR_STATE when it does not fit.
ViStatus narrowAttrValue(const AttrDesc& desc, ViAttrState in, ViUInt32* out);

// Writes exactly the attribute's own size to `dest`.
void storeAttrValue(const AttrDesc& desc, const AttrValue& value, void* dest);

}  // namespace qmdc::visa
