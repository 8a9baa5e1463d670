// Parsing of SCPI parameter values and formatting of answers.
#ifndef QMDC_EMULATOR_CORE_SCPI_VALUES_H
#define QMDC_EMULATOR_CORE_SCPI_VALUES_H

#include <optional>
#include <string>
#include <string_view>

namespace qmdc::emu {

// A numeric parameter: a decimal number or one of the SCPI words MINimum, MAXimum, DEFault.
struct Numeric {
    enum class Kind { Value, Min, Max, Def };
    Kind kind = Kind::Value;
    double value = 0.0;
};

// SCPI keyword rule: the text matches when it equals, ignoring case, either the short form
// (the leading upper-case letters of the pattern, e.g. "VOLT") or the whole pattern
// ("VOLTAGE"); nothing in between ("VOLTA") matches.
bool KeywordMatches(std::string_view text, std::string_view pattern);

// Decimal numbers as SCPI writes them: optional sign, digits with an optional point (at least
// one digit), optional exponent. No "inf" or "nan": the C library would take those.
std::optional<double> ParseDecimal(std::string_view text);

std::optional<Numeric> ParseNumeric(std::string_view text);

// ON/OFF or a number (non-zero is on, as SCPI rounds Boolean numbers).
std::optional<bool> ParseBoolean(std::string_view text);

// Reals are answered in a plain form that a "%lf" scan reads back exactly enough (15 digits).
std::string FormatReal(double value);

std::string_view Trim(std::string_view text);

}  // namespace qmdc::emu

#endif
