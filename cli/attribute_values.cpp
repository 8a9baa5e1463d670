#include "attribute_values.h"

#include <algorithm>
#include <map>

#include "attribute_catalog.h"
#include "failure.h"
#include "number_text.h"
#include "text_case.h"

namespace qmdc::cli {
namespace {

using AttributeRow = AttributeInfo;

// The largest text attribute (MAX_STRING_ATTRIBUTE_LENGTH).
constexpr ViInt32 kTextSize = 4096;

struct Word {
    const char* word;
    ViBoolean value;
};
constexpr Word kBooleanWords[] = {{"on", VI_TRUE},   {"true", VI_TRUE},   {"1", VI_TRUE},
                                  {"off", VI_FALSE}, {"false", VI_FALSE}, {"0", VI_FALSE}};

[[noreturn]] void BadValue(const AttributeRow& row, const std::string& text,
                           const std::string& why = "") {
    throw UsageError("'" + text + "' is not a value of " + row.name +
                     (why.empty() ? "" : " (" + why + ")") + "; it takes " + ValueHint(row));
}

// A named value: the whole name, or its end after an underscore when only one
// name ends so ("LOCAL", "remote_with_lock", "VOLT_10").
std::optional<ViInt32> NamedValueOf(const AttributeRow& row, const std::string& text) {
    std::vector<NamedValue> endings;
    for (const NamedValue& named : row.values) {
        if (EqualsIgnoringCase(named.name, text)) return named.value;
        const size_t start = named.name.size() - std::min(named.name.size(), text.size());
        if (start > 0 && named.name[start - 1] == '_' &&
            EqualsIgnoringCase(named.name.substr(start), text)) {
            endings.push_back(named);
        }
    }
    if (endings.size() > 1) {
        std::string names;
        for (const NamedValue& named : endings) names += (names.empty() ? "" : " or ") + named.name;
        BadValue(row, text, "it could be " + names);
    }
    if (endings.empty()) return {};
    return endings.front().value;
}

// How the values of one type are read, shown and described.
struct TypeEntry {
    std::optional<AttributeValue> (*parse)(const AttributeRow& row, const std::string& text);
    std::string (*get)(const DriverSession& session, const AttributeRow& row, const char* channel);
    std::string (*hint)(const AttributeRow& row);
};

// A scalar through its typed Get, shown by show().
template <class T, ViStatus (*Get)(ViSession, ViConstString, ViAttr, T*),
          std::string (*Show)(const AttributeRow&, T)>
std::string GetScalar(const DriverSession& session, const AttributeRow& row, const char* channel) {
    T value{};
    session.Check(Get(session.vi(), channel, row.id, &value), std::string("get ") + row.name,
                  row.name);
    return Show(row, value);
}

std::string GetText(const DriverSession& session, const AttributeRow& row, const char* channel) {
    std::string value(kTextSize, '\0');
    session.Check(QmDC_GetAttributeViString(session.vi(), channel, row.id, kTextSize, value.data()),
                  std::string("get ") + row.name, row.name);
    value.resize(value.find('\0'));
    return value;
}

std::string Int32Text(const AttributeRow& row, ViInt32 value) {
    for (const NamedValue& named : row.values) {
        if (named.value == value) return named.name;
    }
    return std::to_string(value);
}
std::string Real64Text(const AttributeRow&, ViReal64 value) {
    return RealText(value);
}
std::string BooleanText(const AttributeRow&, ViBoolean value) {
    return value == VI_TRUE ? "on" : value == VI_FALSE ? "off" : std::to_string(value);
}
std::string SessionText(const AttributeRow&, ViSession value) {
    return std::to_string(value);
}

// An enumerated attribute takes only its defined values, by name or number:
// another number is a slip the instrument would only refuse.
std::optional<AttributeValue> ParseInt32(const AttributeRow& row, const std::string& text) {
    const auto number = ParseInteger(text, INT32_MIN, INT32_MAX);
    const auto defined = [&row](ViInt32 value) {
        return std::any_of(row.values.begin(), row.values.end(),
                           [value](const NamedValue& named) { return named.value == value; });
    };
    if (number && (row.values.empty() || defined(ViInt32(*number)))) return ViInt32(*number);
    if (const auto named = NamedValueOf(row, text)) {
        if (!number) return *named;
        // "3" ends QMDC_VAL_..._VOLT_3 but is no value's number: say which is meant.
        BadValue(row, text,
                 "no value has the number " + text + "; the name that ends in _" + text + " is " +
                     Int32Text(row, *named));
    }
    if (number) BadValue(row, text, "no value has that number");
    return {};
}
std::optional<AttributeValue> ParseReal64(const AttributeRow&, const std::string& text) {
    if (const auto number = ParseReal(text)) return *number;
    return {};
}
std::optional<AttributeValue> ParseBoolean(const AttributeRow& row, const std::string& text) {
    for (const Word& word : kBooleanWords) {
        if (EqualsIgnoringCase(word.word, text)) return word.value;
    }
    if (const auto named = NamedValueOf(row, text)) return ViBoolean(*named);
    return {};
}
std::optional<AttributeValue> ParseSession(const AttributeRow&, const std::string& text) {
    if (const auto number = ParseInteger(text, 0, UINT32_MAX)) return ViSession(*number);
    return {};
}
std::optional<AttributeValue> ParseText(const AttributeRow&, const std::string& text) {
    return text;
}

std::string Int32Hint(const AttributeRow& row) {
    if (row.values.empty()) return "a whole number";
    return "one of " + ValuesText(row) +
           ": the name, the end of it after an underscore, or the number";
}
std::string Real64Hint(const AttributeRow&) {
    return "a real number";
}
std::string BooleanHint(const AttributeRow&) {
    return "on, off, true, false, 1 or 0";
}
std::string SessionHint(const AttributeRow&) {
    return "a session handle";
}
std::string TextHint(const AttributeRow&) {
    return "a text";
}

const std::map<ValueType, TypeEntry>& Types() {
    static const std::map<ValueType, TypeEntry> types = {
        {ValueType::Int32,
         {ParseInt32, &GetScalar<ViInt32, QmDC_GetAttributeViInt32, Int32Text>, Int32Hint}},
        {ValueType::Real64,
         {ParseReal64, &GetScalar<ViReal64, QmDC_GetAttributeViReal64, Real64Text>, Real64Hint}},
        {ValueType::Boolean,
         {ParseBoolean, &GetScalar<ViBoolean, QmDC_GetAttributeViBoolean, BooleanText>,
          BooleanHint}},
        {ValueType::Session,
         {ParseSession, &GetScalar<ViSession, QmDC_GetAttributeViSession, SessionText>,
          SessionHint}},
        {ValueType::String, {ParseText, GetText, TextHint}},
    };
    return types;
}

// The typed Set of each value type.
ViStatus SetTyped(ViSession vi, const char* channel, ViAttr id, ViInt32 value) {
    return QmDC_SetAttributeViInt32(vi, channel, id, value);
}
ViStatus SetTyped(ViSession vi, const char* channel, ViAttr id, ViReal64 value) {
    return QmDC_SetAttributeViReal64(vi, channel, id, value);
}
ViStatus SetTyped(ViSession vi, const char* channel, ViAttr id, ViBoolean value) {
    return QmDC_SetAttributeViBoolean(vi, channel, id, value);
}
ViStatus SetTyped(ViSession vi, const char* channel, ViAttr id, ViSession value) {
    return QmDC_SetAttributeViSession(vi, channel, id, value);
}
ViStatus SetTyped(ViSession vi, const char* channel, ViAttr id, const std::string& value) {
    return QmDC_SetAttributeViString(vi, channel, id, value.c_str());
}

}  // namespace

AttributeValue ParseAttributeValue(const AttributeRow& row, const std::string& text) {
    if (const auto value = Types().at(row.type).parse(row, text)) return *value;
    BadValue(row, text);
}

void SetAttribute(const DriverSession& session, const AttributeRow& row, const std::string& channel,
                  const AttributeValue& value) {
    const ViStatus status = std::visit(
        [&](const auto& v) { return SetTyped(session.vi(), channel.c_str(), row.id, v); }, value);
    session.Check(status, std::string("set ") + row.name, row.name);
}

std::string GetAttributeText(const DriverSession& session, const AttributeRow& row,
                             const std::string& channel) {
    return Types().at(row.type).get(session, row, channel.c_str());
}

std::string ValuesText(const AttributeRow& row) {
    std::string text;
    for (const NamedValue& named : row.values) {
        text += (text.empty() ? "" : ", ") + named.name + " (" + std::to_string(named.value) + ")";
    }
    return text;
}

std::string ValueHint(const AttributeRow& row) {
    return Types().at(row.type).hint(row);
}

}  // namespace qmdc::cli
