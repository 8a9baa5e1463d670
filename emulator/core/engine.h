// Executes received lines on the instrument: splits them into program units, finds each
// header in the command table, runs the handler, queues errors, collects query answers.
#ifndef QMDC_EMULATOR_CORE_ENGINE_H
#define QMDC_EMULATOR_CORE_ENGINE_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/instrument.h"

namespace qmdc::emu {

// One form (command or query) of one command table entry.
struct CommandId {
    size_t entry = 0;
    bool query = false;
    bool operator<(const CommandId& other) const {
        return entry != other.entry ? entry < other.entry : query < other.query;
    }
    bool operator==(const CommandId& other) const {
        return entry == other.entry && query == other.query;
    }
};

// The answer of one query of a line, without separators or terminator.
struct Response {
    CommandId id;
    std::string text;
};

class Engine {
  public:
    explicit Engine(const InstrumentConfig& config);

    // Runs one line (terminator already removed). After a command error (-1xx) the rest of
    // the line is discarded, as IEEE 488.2 parsers do; other errors do not stop it.
    std::vector<Response> Execute(std::string_view line);

    // The command table form a header text ("*OPC?", "volt:prot") names, if any.
    std::optional<CommandId> Resolve(std::string_view header) const;

    // Each time the command runs, its ESR bits are set and the generic error of each error
    // class among them (-400, -300, -200, -100) is queued.
    void InjectEsrAfter(CommandId id, int bits);

    Instrument& instrument() { return instrument_; }

    // Called after every command of a line, so that a change of the status byte between
    // two commands of one message ("*CLS;*OPC") is seen.
    void SetAfterEachCommand(std::function<void()> after) { afterEach_ = std::move(after); }

  private:
    void ApplyInjection(CommandId id);

    Instrument instrument_;
    std::map<CommandId, int> esrInjections_;
    std::function<void()> afterEach_ = [] {};
};

// Joins the answers of one line the IEEE 488.2 way: separated by ';', ended by a linefeed.
std::string JoinResponses(const std::vector<std::string>& texts);

}  // namespace qmdc::emu

#endif
