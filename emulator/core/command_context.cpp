#include "core/command_context.h"

#include <cctype>
#include <cmath>

#include "core/scpi_values.h"

namespace qmdc::emu {

const std::string& CommandContext::Param(size_t index) const {
    if (index >= params.size() || params[index].empty()) throw ScpiError{-109};
    return params[index];
}

void CommandContext::ExpectParams(size_t count) const {
    if (params.size() < count) throw ScpiError{-109};
    if (params.size() > count) throw ScpiError{-108};
    for (const std::string& param : params) {
        if (param.empty()) throw ScpiError{-109};
    }
}

double CommandContext::Real(size_t index, const Limits& limits) const {
    const auto numeric = ParseNumeric(Param(index));
    if (!numeric) throw ScpiError{-104};
    switch (numeric->kind) {
        case Numeric::Kind::Min:
            return limits.min;
        case Numeric::Kind::Max:
            return limits.max;
        case Numeric::Kind::Def:
            return limits.def;
        case Numeric::Kind::Value:
            break;
    }
    if (numeric->value < limits.min || numeric->value > limits.max) throw ScpiError{-222};
    return numeric->value;
}

long CommandContext::Integer(size_t index, long min, long max) const {
    const auto value = ParseDecimal(Param(index));
    if (!value) throw ScpiError{-104};
    const double rounded = std::round(*value);
    if (rounded < static_cast<double>(min) || rounded > static_cast<double>(max))
        throw ScpiError{-222};
    return static_cast<long>(rounded);
}

bool CommandContext::Boolean(size_t index) const {
    const auto value = ParseBoolean(Param(index));
    if (!value) throw ScpiError{-104};
    return *value;
}

int CommandContext::Choice(size_t index, const std::vector<const char*>& tokens) const {
    const std::string& text = Param(index);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (KeywordMatches(Trim(text), tokens[i])) return static_cast<int>(i);
    }
    throw ScpiError{-224};
}

std::string ShortForm(const char* pattern) {
    std::string result;
    for (const char* p = pattern; *p != '\0' && !std::islower(static_cast<unsigned char>(*p)); ++p)
        result += *p;
    return result;
}

}  // namespace qmdc::emu
