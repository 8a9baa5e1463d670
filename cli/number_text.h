// Numbers as the tool reads them from the command line and writes them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qmdc::cli {

// A finite real in C notation ("12", "-0.5", "1e-3"), the whole text.
std::optional<double> ParseReal(const std::string& text);

// A decimal number as a person types it: digits with an optional sign,
// point and exponent ("12", "-0.5", "1.5e3"), the whole text. No
// hexadecimal ("0x10", "0x1p3"), no inf or nan, no blanks, and nothing too
// small for a normal double ("1e-320"): a level is never meant that way.
std::optional<double> ParseDecimal(const std::string& text);

// A whole number in decimal or, with 0x, in hexadecimal, within [min, max].
std::optional<int64_t> ParseInteger(const std::string& text, int64_t min, int64_t max);

// The shortest text that reads back as the same double ("0.1", "1500000").
std::string RealText(double value);

// Twelve significant digits: more than any supply resolves, and few enough
// that a computed power of 3 V x 0.3 A reads 0.9, not 0.8999999999999999.
// NaN is written as nanText (each format has its own), infinities as "inf".
std::string NumberText(double value, const char* nanText);

// decimals places after the point ("12.3400"), for readouts and summaries.
std::string FixedText(double value, int decimals);

// A CSV field: the text itself, or quoted with its quotes doubled when it
// holds a comma, a quote or a line break (either half of CR LF).
std::string CsvQuoted(const std::string& text);

}  // namespace qmdc::cli
