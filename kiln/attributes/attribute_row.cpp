#include "attribute_row.h"

namespace kiln {

const char* TypeName(ValueType type) {
    switch (type) {
        case ValueType::Int32:
            return "ViInt32";
        case ValueType::Real64:
            return "ViReal64";
        case ValueType::Boolean:
            return "ViBoolean";
        case ValueType::Session:
            return "ViSession";
        case ValueType::String:
            return "ViString";
    }
    return "";
}

Behaviour Constant(double number) {
    Behaviour b;
    b.kind = BehaviourKind::Constant;
    b.number = number;
    return b;
}

Behaviour ConstantText(const char* (*text)()) {
    Behaviour b;
    b.kind = BehaviourKind::Constant;
    b.text = text;
    return b;
}

Behaviour SessionText(std::string (*text)(const DriverSession&)) {
    Behaviour b;
    b.kind = BehaviourKind::SessionText;
    b.sessionText = text;
    return b;
}

Behaviour OptionFlag(bool (DriverSession::*flag)() const, void (DriverSession::*setFlag)(bool),
                     ViStatus (*checkFlag)(DriverSession&, ViBoolean)) {
    Behaviour b;
    b.kind = BehaviourKind::OptionFlag;
    b.flag = flag;
    b.setFlag = setFlag;
    b.checkFlag = checkFlag;
    return b;
}

Behaviour Instrument(const char* command, const char* query, const char* scan, EnumMapSource map) {
    Behaviour b;
    b.kind = BehaviourKind::Instrument;
    b.command = command;
    b.query = query;
    b.scan = scan;
    b.map = map;
    return b;
}

Behaviour Alias(ViAttr target) {
    Behaviour b;
    b.kind = BehaviourKind::Alias;
    b.target = target;
    return b;
}

Behaviour SingleValue(ViInt32 value, std::string (*refusalName)(ViInt32), EnumMapSource map) {
    Behaviour b;
    b.kind = BehaviourKind::SingleValue;
    b.number = value;
    b.refusalName = refusalName;
    b.map = map;
    return b;
}

Behaviour Unsupported() {
    Behaviour b;
    b.kind = BehaviourKind::Unsupported;
    return b;
}

namespace {
template <class T>
Behaviour CustomPair(Getter<T> get, Setter<T> set) {
    Behaviour b;
    b.kind = BehaviourKind::Custom;
    b.custom = CallbackPair<T>{get, set};
    return b;
}
}  // namespace

Behaviour Custom(Getter<ViInt32> get, Setter<ViInt32> set) {
    return CustomPair<ViInt32>(get, set);
}
Behaviour Custom(Getter<ViReal64> get, Setter<ViReal64> set) {
    return CustomPair<ViReal64>(get, set);
}
Behaviour Custom(Getter<ViBoolean> get, Setter<ViBoolean> set) {
    return CustomPair<ViBoolean>(get, set);
}
Behaviour Custom(Getter<ViSession> get, Setter<ViSession> set) {
    return CustomPair<ViSession>(get, set);
}
Behaviour Custom(Getter<Text> get, Setter<Text> set) {
    return CustomPair<Text>(get, set);
}

}  // namespace kiln
