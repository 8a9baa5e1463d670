// Numbers as the tool reads them from the command line and writes them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qmdc::cli {

// A finite real in C notation ("12", "-0.5", "1e-3"), the whole text.
std::optional<double> ParseReal(const std::string& text);

// A whole number in decimal or, with 0x, in hexadecimal, within [min, max].
std::optional<int64_t> ParseInteger(const std::string& text, int64_t min, int64_t max);

// The shortest text that reads back as the same double ("0.1", "1500000").
std::string RealText(double value);

}  // namespace qmdc::cli
