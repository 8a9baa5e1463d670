// attributes.cpp - the attribute table and the typed transfer of values.
#include "attributes.h"

#include <cstring>

namespace qmdc::visa {

namespace {

constexpr bool RO = false;
constexpr bool RW = true;
using T = AttrType;
using S = AttrScope;

constexpr AttrDesc kAttributes[] = {
    {VI_ATTR_RSRC_CLASS, T::Str, S::Any, RO},
    {VI_ATTR_RSRC_NAME, T::Str, S::Any, RO},
    {VI_ATTR_RSRC_IMPL_VERSION, T::U32, S::Any, RO},
    {VI_ATTR_RSRC_LOCK_STATE, T::U32, S::Any, RO},
    {VI_ATTR_INTF_TYPE, T::U16, S::Any, RO},
    {VI_ATTR_INTF_NUM, T::U16, S::Any, RO},
    {VI_ATTR_TMO_VALUE, T::U32, S::Any, RW},
    {VI_ATTR_TERMCHAR, T::U8, S::Any, RW},
    {VI_ATTR_TERMCHAR_EN, T::Bool, S::Any, RW},
    {VI_ATTR_SEND_END_EN, T::Bool, S::Any, RW},
    {VI_ATTR_IO_PROT, T::U16, S::Any, RW},
    {VI_ATTR_RD_BUF_OPER_MODE, T::U16, S::Any, RW},
    {VI_ATTR_RD_BUF_SIZE, T::U32, S::Any, RO},
    {VI_ATTR_WR_BUF_OPER_MODE, T::U16, S::Any, RW},
    {VI_ATTR_WR_BUF_SIZE, T::U32, S::Any, RO},
    {VI_ATTR_SUPPRESS_END_EN, T::Bool, S::Socket, RW},
    {VI_ATTR_TCPIP_ADDR, T::Str, S::Tcp, RO},
    {VI_ATTR_TCPIP_HOSTNAME, T::Str, S::Tcp, RO},
    {VI_ATTR_TCPIP_PORT, T::U16, S::Tcp, RO},
    {VI_ATTR_TCPIP_NODELAY, T::Bool, S::Tcp, RW},
    {VI_ATTR_TCPIP_KEEPALIVE, T::Bool, S::Tcp, RW},
    {VI_ATTR_TCPIP_DEVICE_NAME, T::Str, S::TcpInstr, RO},
    {VI_ATTR_TCPIP_IS_HISLIP, T::Bool, S::TcpInstr, RO},
    {VI_ATTR_TCPIP_HISLIP_VERSION, T::U32, S::TcpInstr, RO},
    {VI_ATTR_TCPIP_HISLIP_OVERLAP_EN, T::Bool, S::TcpInstr, RW},
    {VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB, T::U32, S::TcpInstr, RW},
    {VI_ATTR_ASRL_BAUD, T::U32, S::Serial, RW},
    {VI_ATTR_ASRL_DATA_BITS, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_PARITY, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_STOP_BITS, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_FLOW_CNTRL, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_AVAIL_NUM, T::U32, S::Serial, RO},
    {VI_ATTR_ASRL_END_IN, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_END_OUT, T::U16, S::Serial, RW},
    {VI_ATTR_ASRL_XON_CHAR, T::U8, S::Serial, RW},
    {VI_ATTR_ASRL_XOFF_CHAR, T::U8, S::Serial, RW},
};

}  // namespace

void AttrValue::setString(const char* text) {
    std::strncpy(str, text, sizeof str - 1);
    str[sizeof str - 1] = '\0';
}

const AttrDesc* findAttr(ViAttr id) {
    for (const AttrDesc& d : kAttributes)
        if (d.id == id) return &d;
    return nullptr;
}

ViStatus narrowAttrValue(const AttrDesc& desc, ViAttrState in, ViUInt32* out) {
    ViAttrState v = in;
    ViAttrState max = 0;
    switch (desc.type) {
        case AttrType::U8:
            max = 0xFF;
            break;
        case AttrType::U16:
            max = 0xFFFF;
            break;
        case AttrType::Bool:
            max = 1;
            break;
        case AttrType::U32:
        case AttrType::Str:
            max = 0xFFFFFFFFu;
            // A ViInt32 such as -1 (VI_TMO_INFINITE) arrives sign-extended
            // where ViAttrState has 64 bits.
            if (sizeof(ViAttrState) > 4 && (v >> 31) == (~static_cast<ViAttrState>(0) >> 31))
                v &= 0xFFFFFFFFu;
            break;
    }
    if (v > max) return VI_ERROR_NSUP_ATTR_STATE;
    *out = static_cast<ViUInt32>(v);
    return VI_SUCCESS;
}

void storeAttrValue(const AttrDesc& desc, const AttrValue& value, void* dest) {
    switch (desc.type) {
        case AttrType::U8: {
            const ViUInt8 v = static_cast<ViUInt8>(value.num);
            std::memcpy(dest, &v, sizeof v);
            break;
        }
        case AttrType::U16:
        case AttrType::Bool: {
            const ViUInt16 v = static_cast<ViUInt16>(value.num);
            std::memcpy(dest, &v, sizeof v);
            break;
        }
        case AttrType::U32:
            std::memcpy(dest, &value.num, sizeof value.num);
            break;
        case AttrType::Str:
            std::memcpy(dest, value.str, std::strlen(value.str) + 1);
            break;
    }
}

}  // namespace qmdc::visa
