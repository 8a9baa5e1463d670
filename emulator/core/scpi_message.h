// Splitting a received line (a program message) into its units: "VOLT 5;CURR? MAX" is two
// units, each a header and its comma-separated parameters.
#ifndef QMDC_EMULATOR_CORE_SCPI_MESSAGE_H
#define QMDC_EMULATOR_CORE_SCPI_MESSAGE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmdc::emu {

struct ProgramUnit {
    std::string header;
    std::vector<std::string> params;  // trimmed; an empty piece ("1,,2") stays as ""
};

// nullopt when a quoted string is not closed. Empty units (";;", a trailing ';') are dropped.
std::optional<std::vector<ProgramUnit>> SplitMessage(std::string_view line);

}  // namespace qmdc::emu

#endif
