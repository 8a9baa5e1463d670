#include "generic_callbacks.h"

#include <optional>
#include <type_traits>

#include "QmDC.h"
#include "cache_manager.h"
#include "enum_command_map.h"
#include "typed_access.h"
#include "../repcap/resolve_selector.h"
#include "../session/call_frame.h"
#include "../session/driver_definition.h"
#include "../session/driver_session.h"
#include "../session/text_copy.h"

namespace kiln {
namespace {

// Enumerated and Boolean answers are read into a buffer of this size.
constexpr ViInt32 kResponseSize = 256;

ViStatus CheckValue(ViSession vi, const AttributeRow& row, const void* value) {
    if (value != nullptr) return VI_SUCCESS;
    return CheckNullPointer(vi, GetterName(row.name).c_str(), "AttributeValue", value);
}

// A getter's checks: its value pointer, then, per channel, exactly one channel.
ViStatus CheckGetter(DriverSession& session, ViSession vi, const AttributeRow& row,
                     ViConstString channel, const void* value) {
    const ViStatus status = CheckValue(vi, row, value);
    if (status < 0 || row.channel != ChannelRule::PerChannel) return status;
    return CheckSingleChannel(session, channel);
}

// A per-channel setter works on every channel the selector names; any other
// setter works once.
ViStatus SetterChannelCount(DriverSession& session, const AttributeRow& row, ViConstString channel,
                            size_t& count) {
    count = 1;
    if (row.channel != ChannelRule::PerChannel) return VI_SUCCESS;
    return CountSelectedChannels(session, channel, count);
}

template <class T>
T SimulatedValue(const AttributeRow& row, const CacheEntry<T>* entry) {
    if (row.simulated.answer == SimulatedAnswer::StoredElseDefault && entry != nullptr &&
        entry->valid) {
        return entry->value;
    }
    return static_cast<T>(row.simulated.number);
}

// An enumerated or Boolean answer, converted through the row's map.
template <class T>
ViStatus QueryDefinedValue(DriverSession& session, const AttributeRow& row, T* value) {
    char response[kResponseSize] = {};
    ViInt32 size = kResponseSize;
    const ViStatus status =
        session.Queryf(row.behaviour.query, row.behaviour.scan, &size, response);
    if (status < 0) return status;
    ViInt32 defined = -1;
    const ViStatus converted = ResponseToValue(session, row.behaviour.map(), response, defined);
    *value = static_cast<T>(defined);
    return converted < 0 ? converted : status;
}

template <class T>
ViStatus InstrumentGet(const AttributeRow& row, ViSession vi, ViConstString channel, T* value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        ViStatus status = CheckGetter(session, vi, row, channel, value);
        if (status < 0) return status;
        std::optional<GetterCacheManager<T>> guard;
        if (row.cache == CacheRule::Stored) guard.emplace(session, row.id, value);
        if (session.GetSimulate()) {
            *value = SimulatedValue(row, guard ? guard->Entry() : nullptr);
            return VI_SUCCESS;
        }
        if (row.behaviour.map != nullptr) {
            status = QueryDefinedValue(session, row, value);
        } else if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, ViReal64>) {
            status = session.QueryNumber(row.behaviour.query, row.behaviour.scan, value);
        }
        return status < 0 ? status : session.CheckStatus();
    });
}

template <class T>
ViStatus InstrumentSet(const AttributeRow& row, ViSession vi, ViConstString channel, T value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        size_t channels = 1;
        ViStatus status = SetterChannelCount(session, row, channel, channels);
        if (status < 0) return status;
        std::optional<SetterCacheManager<T>> guard;
        if (row.cache == CacheRule::Stored) guard.emplace(session, row.id, value);
        if (session.GetSimulate()) return VI_SUCCESS;
        std::string token;
        if (row.behaviour.map != nullptr) {
            status =
                ValueToCommand(session, row.behaviour.map(), static_cast<ViInt32>(value), token);
            if (status < 0) return status;
        }
        for (size_t i = 0; i < channels; ++i) {
            if (row.behaviour.map != nullptr) {
                status = session.Printf(row.behaviour.command, token.c_str());
            } else if constexpr (std::is_same_v<T, ViInt32> || std::is_same_v<T, ViReal64>) {
                status = session.Printf(row.behaviour.command, value);
            }
            if (status < 0) return status;
        }
        return session.CheckStatus();
    });
}

// The answer lands in the caller's buffer, cut to its size.
ViStatus InstrumentGetText(const AttributeRow& row, ViSession vi, ViConstString channel,
                           ViInt32 bufferSize, ViChar value[]) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        ViStatus status = CheckGetter(session, vi, row, channel, value);
        if (status < 0) return status;
        std::optional<GetterCacheManager<Text>> guard;
        if (row.cache == CacheRule::Stored) guard.emplace(session, row.id, bufferSize, value);
        if (session.GetSimulate()) {
            CopyTruncated(row.simulated.text != nullptr ? row.simulated.text : "", bufferSize,
                          value);
            return VI_SUCCESS;
        }
        status = session.QueryText(row.behaviour.query, row.behaviour.scan, bufferSize, value);
        return status < 0 ? status : session.CheckStatus();
    });
}

template <class T>
ViStatus ConstantGet(const AttributeRow& row, ViSession vi, T* value) {
    return Guarded(vi, [&]() -> ViStatus {
        const ViStatus status = CheckValue(vi, row, value);
        if (status < 0) return status;
        *value = static_cast<T>(row.behaviour.number);
        return VI_SUCCESS;
    });
}

ViStatus OptionGet(const AttributeRow& row, ViSession vi, ViBoolean* value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        const ViStatus status = CheckValue(vi, row, value);
        if (status < 0) return status;
        *value = (session.*row.behaviour.flag)() ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    });
}

// Only VI_TRUE (1) turns an option on; every other value turns it off.
ViStatus OptionSet(const AttributeRow& row, ViSession vi, ViBoolean value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        if (row.behaviour.checkFlag != nullptr) {
            const ViStatus status = row.behaviour.checkFlag(session, value);
            if (status < 0) return status;
        }
        (session.*row.behaviour.setFlag)(value == VI_TRUE);
        return VI_SUCCESS;
    });
}

template <class T>
ViStatus AliasGet(const AttributeRow& row, ViSession vi, ViConstString channel, T* value) {
    return Guarded(vi, [&]() -> ViStatus {
        if (value == nullptr) {
            // The alias stands for the typed Get and names it.
            const std::string function =
                std::string(RegisteredDriver().prefix) + "_GetAttribute" + TypeName(row.type);
            return CheckNullPointer(vi, function.c_str(), "AttributeValue", value);
        }
        return GetAttribute(vi, channel, row.behaviour.target, value);
    });
}

template <class T>
ViStatus SingleValueGet(const AttributeRow& row, ViSession vi, ViConstString channel, T* value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        ViStatus status = CheckGetter(session, vi, row, channel, value);
        if (status < 0) return status;
        *value = static_cast<T>(row.behaviour.number);
        return VI_SUCCESS;
    });
}

template <class T>
ViStatus SingleValueSet(const AttributeRow& row, ViSession vi, ViConstString channel, T value) {
    return Framed(vi, [&](DriverSession& session) -> ViStatus {
        size_t channels = 0;
        const ViStatus status = SetterChannelCount(session, row, channel, channels);
        if (status < 0) return status;
        if (static_cast<double>(value) == row.behaviour.number) return VI_SUCCESS;
        return session.ReportError(QMDC_ERROR_VALUE_NOT_SUPPORTED,
                                   {row.behaviour.refusalName(static_cast<ViInt32>(value)),
                                    "AttributeValue", ShortName(row.name)});
    });
}

// The instrument has no such feature; nothing is recorded.
ViStatus UnsupportedGet(const AttributeRow& row, ViSession vi, const void* value) {
    return Framed(vi, [&](DriverSession&) -> ViStatus {
        const ViStatus status = CheckValue(vi, row, value);
        return status < 0 ? status : QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED;
    });
}

ViStatus UnsupportedSet(ViSession vi) {
    return Framed(vi,
                  [](DriverSession&) -> ViStatus { return QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED; });
}

ViStatus NoSuchCallback(ViSession vi, const AttributeRow& row) {
    return ReportErrorWithText(vi, QMDC_ERROR_CANNOT_RECOVER,
                               "The attribute '%s' has no callback of this kind.", {row.name});
}

}  // namespace

std::string ShortName(const char* attributeName) {
    const std::string prefix = RegisteredDriver().attributePrefix;
    std::string name = attributeName;
    if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
    return name;
}

std::string GetterName(const char* attributeName) {
    return std::string(RegisteredDriver().prefix) + "_get_" + ShortName(attributeName);
}

template <class T>
ViStatus GenericGet(const AttributeRow& row, ViSession vi, ViConstString channel, T* value) {
    switch (row.behaviour.kind) {
        case BehaviourKind::Constant:
            return ConstantGet(row, vi, value);
        case BehaviourKind::OptionFlag:
            if constexpr (std::is_same_v<T, ViBoolean>) return OptionGet(row, vi, value);
            break;
        case BehaviourKind::Instrument:
            return InstrumentGet(row, vi, channel, value);
        case BehaviourKind::Alias:
            return AliasGet(row, vi, channel, value);
        case BehaviourKind::SingleValue:
            return SingleValueGet(row, vi, channel, value);
        case BehaviourKind::Unsupported:
            return UnsupportedGet(row, vi, value);
        default:
            break;
    }
    return NoSuchCallback(vi, row);
}

template <class T>
ViStatus GenericSet(const AttributeRow& row, ViSession vi, ViConstString channel, T value) {
    switch (row.behaviour.kind) {
        case BehaviourKind::OptionFlag:
            if constexpr (std::is_same_v<T, ViBoolean>) return OptionSet(row, vi, value);
            break;
        case BehaviourKind::Instrument:
            return InstrumentSet(row, vi, channel, value);
        case BehaviourKind::Alias:
            return SetAttribute(vi, channel, row.behaviour.target, value);
        case BehaviourKind::SingleValue:
            return SingleValueSet(row, vi, channel, value);
        case BehaviourKind::Unsupported:
            return UnsupportedSet(vi);
        default:
            break;
    }
    return NoSuchCallback(vi, row);
}

ViStatus GenericGetText(const AttributeRow& row, ViSession vi, ViConstString channel,
                        ViInt32 bufferSize, ViChar value[]) {
    switch (row.behaviour.kind) {
        case BehaviourKind::Constant:
            return Guarded(vi, [&]() -> ViStatus {
                const ViStatus status = CheckValue(vi, row, value);
                if (status < 0) return status;
                CopyTruncated(row.behaviour.text(), bufferSize, value);
                return VI_SUCCESS;
            });
        case BehaviourKind::SessionText:
            return Framed(vi, [&](DriverSession& session) -> ViStatus {
                const ViStatus status = CheckValue(vi, row, value);
                if (status < 0) return status;
                CopyTruncated(row.behaviour.sessionText(session), bufferSize, value);
                return VI_SUCCESS;
            });
        case BehaviourKind::Instrument:
            return InstrumentGetText(row, vi, channel, bufferSize, value);
        case BehaviourKind::Unsupported:
            return UnsupportedGet(row, vi, value);
        default:
            break;
    }
    return NoSuchCallback(vi, row);
}

template ViStatus GenericGet(const AttributeRow&, ViSession, ViConstString, ViInt32*);
template ViStatus GenericGet(const AttributeRow&, ViSession, ViConstString, ViReal64*);
template ViStatus GenericGet(const AttributeRow&, ViSession, ViConstString, ViBoolean*);
template ViStatus GenericGet(const AttributeRow&, ViSession, ViConstString, ViSession*);
template ViStatus GenericSet(const AttributeRow&, ViSession, ViConstString, ViInt32);
template ViStatus GenericSet(const AttributeRow&, ViSession, ViConstString, ViReal64);
template ViStatus GenericSet(const AttributeRow&, ViSession, ViConstString, ViBoolean);
template ViStatus GenericSet(const AttributeRow&, ViSession, ViConstString, ViSession);

}  // namespace kiln
