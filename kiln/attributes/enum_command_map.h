// Maps between an attribute's defined values and the instrument's tokens. An
// entry may be restricted to models or model families; a conversion picks the
// entry that fits the session's instrument best.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "visatype.h"

namespace kiln {

class DriverSession;

struct EnumCommandInfo {
    std::string Name;                   // "QMDC_VAL_CONTROL_SOURCE_LOCAL"
    ViInt32 Value;                      // the defined value
    std::vector<std::string> Commands;  // the first is sent; all are accepted
    std::vector<std::string> Models;    // models or families; empty: every model

    // commands and models are comma-separated lists. An entry whose two lists
    // are both "!!!" only names its value: it never converts.
    EnumCommandInfo(std::string name, ViInt32 value, const std::string& commands,
                    const std::string& models);
};

using ModelFamilies = std::map<std::string, std::string>;  // model -> family

class EnumCommandMap {
  public:
    // Checks that no two unrestricted entries, and for no model two of its
    // family entries, accept the same response; a map that breaks this is a
    // programming error (std::logic_error). Families come from the driver's
    // model table unless given.
    explicit EnumCommandMap(std::vector<EnumCommandInfo> entries);
    EnumCommandMap(std::vector<EnumCommandInfo> entries, const ModelFamilies& families);

    const std::vector<EnumCommandInfo>& Entries() const { return entries_; }

  private:
    std::vector<EnumCommandInfo> entries_;
};

// Trimmed texts equal, ignoring the case of ASCII letters.
bool TokenMatches(const std::string& token, const std::string& response);

// The defined value of an instrument answer. Writes -1 first; an answer no
// entry accepts for this model is an unexpected response (recorded).
ViStatus ResponseToValue(DriverSession& session, const EnumCommandMap& map,
                         const std::string& response, ViInt32& value);

// The token to send for a defined value; a value without one fails (recorded)
// and leaves command empty.
ViStatus ValueToCommand(DriverSession& session, const EnumCommandMap& map, ViInt32 value,
                        std::string& command);

// The name of a defined value, or the value in decimal.
std::string ValueToName(const EnumCommandMap& map, ViInt32 value);

struct DefinedValue {
    std::string name;  // "QMDC_VAL_CONTROL_SOURCE_LOCAL", "VI_TRUE"
    ViInt32 value;
};

// Each defined value of a map once, in map order: a map names a value in its
// name-only entry and again in the entry with its tokens.
std::vector<DefinedValue> DefinedValues(const EnumCommandMap& map);

}  // namespace kiln
