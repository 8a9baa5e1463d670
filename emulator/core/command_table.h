// The instrument's command set: one table from header pattern to the handlers of its command
// form and its query form.
#ifndef QMDC_EMULATOR_CORE_COMMAND_TABLE_H
#define QMDC_EMULATOR_CORE_COMMAND_TABLE_H

#include <functional>
#include <vector>

#include "core/command_context.h"
#include "core/scpi_header.h"

namespace qmdc::emu {

using Handler = std::function<void(CommandContext&)>;

struct CommandEntry {
    HeaderPattern pattern;
    Handler command;  // empty: the header has no command form
    Handler query;    // empty: the header has no query form
};

const std::vector<CommandEntry>& CommandTable();

}  // namespace qmdc::emu

#endif
