// attributes.h - the attributes a session knows: type, owner and access.
#pragma once

#include "visa.h"

namespace qmdc::visa {

enum class AttrType : unsigned char { U8, U16, U32, Bool, Str };
// Which sessions have the attribute: Tcp is every TCPIP resource, Socket
// and TcpInstr (VXI-11, HiSLIP) one class of them.
enum class AttrScope : unsigned char { Any, Tcp, Socket, TcpInstr, Serial, Usb };

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

// Whether a session of the resource class `session` (never Any or Tcp) has
// the attribute.
inline bool attrApplies(const AttrDesc& desc, AttrScope session) {
    return desc.scope == AttrScope::Any || desc.scope == session ||
           (desc.scope == AttrScope::Tcp &&
            (session == AttrScope::Socket || session == AttrScope::TcpInstr));
}

// Checks a viSetAttribute value against the attribute's type and narrows it;
// VI_ERROR_NSUP_ATTR_STATE when it does not fit.
ViStatus narrowAttrValue(const AttrDesc& desc, ViAttrState in, ViUInt32* out);

// Writes exactly the attribute's own size to `dest`.
void storeAttrValue(const AttrDesc& desc, const AttrValue& value, void* dest);

}  // namespace qmdc::visa
