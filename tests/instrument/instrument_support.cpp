#include "instrument_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qmdc_test {

ViStatus GetValue(ViSession vi, ViAttr id, const Value& like, Value& value, const char* channel) {
    ViStatus status = VI_SUCCESS;
    std::visit(
        [&](const auto& kind) {
            using T = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<T, std::string>) {
                ViChar buffer[512] = {};
                status = QmDC_GetAttributeViString(vi, channel, id, sizeof buffer, buffer);
                value = std::string(buffer);
            } else {
                T got{};
                if constexpr (std::is_same_v<T, ViInt32>) {
                    status = QmDC_GetAttributeViInt32(vi, channel, id, &got);
                } else if constexpr (std::is_same_v<T, ViReal64>) {
                    status = QmDC_GetAttributeViReal64(vi, channel, id, &got);
                } else {
                    status = QmDC_GetAttributeViBoolean(vi, channel, id, &got);
                }
                value = got;
            }
        },
        like);
    return status;
}

ViStatus SetValue(ViSession vi, ViAttr id, const Value& value, const char* channel) {
    return std::visit(
        [&](const auto& v) -> ViStatus {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return QmDC_SetAttributeViString(vi, channel, id, v.c_str());
            } else if constexpr (std::is_same_v<T, ViInt32>) {
                return QmDC_SetAttributeViInt32(vi, channel, id, v);
            } else if constexpr (std::is_same_v<T, ViReal64>) {
                return QmDC_SetAttributeViReal64(vi, channel, id, v);
            } else {
                return QmDC_SetAttributeViBoolean(vi, channel, id, v);
            }
        },
        value);
}

std::string Describe(const Value& value) {
    std::ostringstream out;
    std::visit([&](const auto& v) { out << v; }, value);
    return out.str();
}

}  // namespace qmdc_test
