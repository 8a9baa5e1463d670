// The three patterns of the option string, matched by hand. They give the
// same matches as the ECMAScript expressions
//   DriverSetup split   \s*DriverSetup\s*=(.*)            (case-insensitive)
//   inherent option     \s*(\w+)\s*=\s*(\w+)\s*,?
//   DriverSetup pair    ([\w+_]+)\s*(?:=|:)\s*([^,]+)
// searched left to right as a regex iterator would, but in linear time and
// without recursion, so that a long option string cannot exhaust the stack.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kiln {

using NameValue = std::pair<std::string, std::string>;

// First "DriverSetup =" in text: the text before it (and before the blanks
// that precede it), and everything after the "=" up to the end of that line.
bool SplitDriverSetup(const std::string& text, std::string& before, std::string& setup);

// Successive name=value pairs of word characters; unmatched text is skipped.
std::vector<NameValue> InherentOptionPairs(const std::string& text);

// Successive name=value or name:value pairs; a value runs to the next comma.
std::vector<NameValue> DriverSetupPairs(const std::string& text);

}  // namespace kiln
