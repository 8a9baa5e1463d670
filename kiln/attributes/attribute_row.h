// One row of a driver's attribute table: everything the framework needs to
// register the attribute and to serve its Get and Set with the generic
// callbacks. A driver lists its rows once (see DriverDefinition); the
// registry, the typed access functions, tools and bindings all read them.
#pragma once

#include <string>
#include <variant>

#include "value_type.h"

namespace kiln {

class DriverSession;
class EnumCommandMap;

enum class Access { ReadOnly, ReadWrite };
enum class ChannelRule { Ignored, PerChannel };
enum class CacheRule { NotStored, Stored };

// How a simulated session answers a Get of an instrument attribute: not at
// all (the attribute needs no simulation), always the same value, or the last
// value stored and the default before any.
enum class SimulatedAnswer { None, Fixed, StoredElseDefault };

struct Simulated {
    SimulatedAnswer answer = SimulatedAnswer::None;
    double number = 0.0;         // integer, Boolean and real values
    const char* text = nullptr;  // text values
};

inline Simulated Fixed(double number) {
    return {SimulatedAnswer::Fixed, number, nullptr};
}
inline Simulated FixedText(const char* text) {
    return {SimulatedAnswer::Fixed, 0.0, text};
}
inline Simulated Default(double number) {
    return {SimulatedAnswer::StoredElseDefault, number, nullptr};
}

// What the callbacks of a row do.
enum class BehaviourKind {
    Constant,     // a value of the driver; no session, no lock
    SessionText,  // a text the session holds (names, identification)
    OptionFlag,   // one of the six inherent options
    Instrument,   // a SCPI command and query, cached and simulated by the row
    Alias,        // the same attribute under another id
    SingleValue,  // accepts and reports one value only
    Unsupported,  // registered, but the instrument has no such feature
    Custom,       // hand-written callbacks
};

template <class T>
struct CallbackPair {
    Getter<T> get = nullptr;
    Setter<T> set = nullptr;
};
using CustomCallbacks =
    std::variant<std::monostate, CallbackPair<ViInt32>, CallbackPair<ViReal64>,
                 CallbackPair<ViBoolean>, CallbackPair<ViSession>, CallbackPair<Text>>;

using EnumMapSource = const EnumCommandMap& (*)();

struct Behaviour {
    BehaviourKind kind = BehaviourKind::Custom;
    // Constant: the number, or the text function.
    double number = 0.0;
    const char* (*text)() = nullptr;
    // SessionText.
    std::string (*sessionText)(const DriverSession&) = nullptr;
    // OptionFlag: the flag's accessors, and a check that may refuse a value.
    bool (DriverSession::*flag)() const = nullptr;
    void (DriverSession::*setFlag)(bool) = nullptr;
    ViStatus (*checkFlag)(DriverSession&, ViBoolean) = nullptr;
    // Instrument: the Set's printf format, the query and the scan format of
    // its answer.
    const char* command = nullptr;
    const char* query = nullptr;
    const char* scan = nullptr;
    // Enumerated and Boolean attributes: the names of their values, and for
    // instrument attributes the tokens they convert through.
    EnumMapSource map = nullptr;
    // Alias.
    ViAttr target = 0;
    // SingleValue: the value is number; refusalName names a refused value.
    std::string (*refusalName)(ViInt32 value) = nullptr;
    // Custom.
    CustomCallbacks custom;
};

struct AttributeRow {
    ViAttr id;
    const char* name;  // the macro name, "QMDC_ATTR_VOLTAGE_LEVEL"
    ValueType type;
    Access access;
    ChannelRule channel;
    CacheRule cache;
    Behaviour behaviour;
    Simulated simulated = {};
};

// Behaviour makers, so that a table row reads as one line.
Behaviour Constant(double number);
Behaviour ConstantText(const char* (*text)());
Behaviour SessionText(std::string (*text)(const DriverSession&));
Behaviour OptionFlag(bool (DriverSession::*flag)() const, void (DriverSession::*setFlag)(bool),
                     ViStatus (*checkFlag)(DriverSession&, ViBoolean) = nullptr);
Behaviour Instrument(const char* command, const char* query, const char* scan,
                     EnumMapSource map = nullptr);
Behaviour Alias(ViAttr target);
Behaviour SingleValue(ViInt32 value, std::string (*refusalName)(ViInt32), EnumMapSource map);
Behaviour Unsupported();
Behaviour Custom(Getter<ViInt32> get, Setter<ViInt32> set);
Behaviour Custom(Getter<ViReal64> get, Setter<ViReal64> set);
Behaviour Custom(Getter<ViBoolean> get, Setter<ViBoolean> set);
Behaviour Custom(Getter<ViSession> get, Setter<ViSession> set);
Behaviour Custom(Getter<Text> get, Setter<Text> set);

}  // namespace kiln
