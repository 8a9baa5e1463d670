// api_attributes.cpp - attributes every session and the resource manager
// have, kept beside the session's own: the library's identity, user data,
// the event queue length, the 488.2 emulation switch and the lock state.
#include <cstring>

#include "api_services.h"
#include "lock_table.h"

namespace qmdc::visa {

namespace {

constexpr const char* kManufacturer = "QmDC";
// No VXIplug&play manufacturer ID is registered for this library.
constexpr ViUInt16 kManufacturerId = 0;

template <class T>
ViStatus store(void* dest, T value) {
    if (dest == nullptr) return VI_ERROR_USER_BUF;
    std::memcpy(dest, &value, sizeof value);
    return VI_SUCCESS;
}

ViStatus storeString(void* dest, const char* text) {
    if (dest == nullptr) return VI_ERROR_USER_BUF;
    std::memcpy(dest, text, std::strlen(text) + 1);
    return VI_SUCCESS;
}

// The library's identity, on every object.
ViStatus getIdentity(ViAttr attr, void* value) {
    switch (attr) {
        case VI_ATTR_RSRC_MANF_NAME:
            return storeString(value, kManufacturer);
        case VI_ATTR_RSRC_MANF_ID:
            return store<ViUInt16>(value, kManufacturerId);
        case VI_ATTR_RSRC_SPEC_VERSION:
            return store<ViVersion>(value, VI_SPEC_VERSION);
        default:
            return kNotAServiceAttribute;
    }
}

}  // namespace

ViStatus getManagerAttribute(ViAttr attr, void* value) {
    if (attr == VI_ATTR_RSRC_IMPL_VERSION) return store<ViVersion>(value, kImplVersion);
    const ViStatus status = getIdentity(attr, value);
    return status == kNotAServiceAttribute ? VI_ERROR_NSUP_ATTR : status;
}

ViStatus getServiceAttribute(Session& s, ViAttr attr, void* value) {
    const ViStatus identity = getIdentity(attr, value);
    if (identity != kNotAServiceAttribute) return identity;
    Services& sv = s.services;
    if (attr == VI_ATTR_RSRC_LOCK_STATE)
        return store<ViAccessMode>(value, LockTable::instance().state(sv.lockKey));
    std::lock_guard<std::mutex> guard(sv.mutex);
    switch (attr) {
        case VI_ATTR_USER_DATA_32:
            return store<ViUInt32>(value, static_cast<ViUInt32>(sv.userData));
        case VI_ATTR_USER_DATA_64:
            return store<unsigned long long>(value, sv.userData);
        case VI_ATTR_MAX_QUEUE_LENGTH:
            return store<ViUInt32>(value, sv.maxQueueLength);
        case VI_ATTR_FILE_APPEND_EN:
            return store<ViBoolean>(value, sv.fileAppend);
        case VI_ATTR_IO_PROT:
            return store<ViUInt16>(value, sv.ioProt);
        default:
            return kNotAServiceAttribute;
    }
}

ViStatus setServiceAttribute(Session& s, ViAttr attr, ViAttrState value) {
    switch (attr) {
        case VI_ATTR_RSRC_MANF_NAME:
        case VI_ATTR_RSRC_MANF_ID:
        case VI_ATTR_RSRC_SPEC_VERSION:
        case VI_ATTR_RSRC_LOCK_STATE:
            return VI_ERROR_ATTR_READONLY;
        default:
            break;
    }
    Services& sv = s.services;
    std::lock_guard<std::mutex> guard(sv.mutex);
    const unsigned long long v = value;
    switch (attr) {
        case VI_ATTR_USER_DATA_32:
            if (v > 0xFFFFFFFFull) return VI_ERROR_NSUP_ATTR_STATE;
            sv.userData = v;
            return VI_SUCCESS;
        case VI_ATTR_USER_DATA_64:
            sv.userData = v;
            return VI_SUCCESS;
        case VI_ATTR_MAX_QUEUE_LENGTH:
            // The queue's size is fixed when the first event is enabled.
            if (s.events().everEnabled()) return VI_ERROR_ATTR_READONLY;
            if (v == 0 || v > 0xFFFFFFFFull) return VI_ERROR_NSUP_ATTR_STATE;
            sv.maxQueueLength = static_cast<ViUInt32>(v);
            return VI_SUCCESS;
        case VI_ATTR_FILE_APPEND_EN:
            if (v > 1) return VI_ERROR_NSUP_ATTR_STATE;
            sv.fileAppend = v != 0;
            return VI_SUCCESS;
        case VI_ATTR_IO_PROT:
            if (v != VI_PROT_NORMAL && v != VI_PROT_4882_STRS) return VI_ERROR_NSUP_ATTR_STATE;
            sv.ioProt = static_cast<ViUInt16>(v);
            return VI_SUCCESS;
        default:
            return kNotAServiceAttribute;
    }
}

}  // namespace qmdc::visa
