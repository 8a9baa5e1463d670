// What a command handler works with: the instrument, the parameters it was given, the reply
// it builds, and checked conversions of those parameters.
#ifndef QMDC_EMULATOR_CORE_COMMAND_CONTEXT_H
#define QMDC_EMULATOR_CORE_COMMAND_CONTEXT_H

#include <string>
#include <vector>

#include "core/instrument.h"

namespace qmdc::emu {

// Thrown by a handler to reject a command with a SCPI error code; the engine queues it.
struct ScpiError {
    int code;
};

struct Limits {
    double min;
    double max;
    double def;
};

struct CommandContext {
    Instrument& instrument;
    const std::vector<std::string>& params;
    std::string reply;

    // Fewer parameters: -109 "Missing parameter"; more: -108 "Parameter not allowed".
    void ExpectParams(size_t count) const;
    // A number or MIN/MAX/DEF. Garbled: -104 "Data type error"; outside the limits: -222.
    double Real(size_t index, const Limits& limits) const;
    long Integer(size_t index, long min, long max) const;
    bool Boolean(size_t index) const;
    // Index of the token (SCPI keyword patterns such as "REMote") the parameter names;
    // -224 "Illegal parameter value" if none.
    int Choice(size_t index, const std::vector<const char*>& tokens) const;

  private:
    const std::string& Param(size_t index) const;
};

// The short form of a keyword pattern, the way the instrument answers it ("REMote" → "REM").
std::string ShortForm(const char* pattern);

}  // namespace qmdc::emu

#endif
