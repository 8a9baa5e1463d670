// Lengths of time as a person writes them on a command line: "90", "90s",
// "15m", "2h", "1.5d".
#pragma once

#include <optional>
#include <string>

namespace qmdc::cli {

// Seconds, above zero; nullopt for anything else.
std::optional<double> ParseDuration(const std::string& text);

}  // namespace qmdc::cli
