// Reading the typed values of a store file. Blanks around a value are
// ignored; integers and reals are decimal; booleans are true/false/1/0 in any
// letter case.
#pragma once

#include <cstdint>
#include <string_view>

namespace qmdc::iviconfig {

bool parseInt32(std::string_view text, std::int32_t& value);
bool parseReal64(std::string_view text, double& value);
bool parseBoolean(std::string_view text, bool& value);

std::string_view trimmed(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);

}  // namespace qmdc::iviconfig
