#include "core/engine.h"

#include "core/command_table.h"
#include "core/scpi_header.h"
#include "core/scpi_message.h"

namespace qmdc::emu {

namespace {

bool IsCommandError(int code) {
    return code <= -100 && code > -200;
}

std::optional<CommandId> Find(const ParsedHeader& header) {
    const auto& table = CommandTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const CommandEntry& entry = table[i];
        const bool hasForm = header.query ? bool(entry.query) : bool(entry.command);
        if (hasForm && entry.pattern.Matches(header.keywords)) return CommandId{i, header.query};
    }
    return std::nullopt;
}

}  // namespace

Engine::Engine(const InstrumentConfig& config) : instrument_(config) {}

std::vector<Response> Engine::Execute(std::string_view line) {
    std::vector<Response> responses;
    StatusSystem& status = instrument_.status();
    const auto units = SplitMessage(line);
    if (!units) {
        status.ReportError(-102);  // unterminated string
        afterEach_();
        return responses;
    }
    for (const ProgramUnit& unit : *units) {
        const auto header = ParseHeader(unit.header);
        if (!header) {
            status.ReportError(-102);
            afterEach_();
            break;
        }
        const auto id = Find(*header);
        if (!id) {
            status.ReportError(-113);
            afterEach_();
            break;
        }
        const CommandEntry& entry = CommandTable()[id->entry];
        CommandContext context{instrument_, unit.params, {}};
        int error = 0;
        try {
            (id->query ? entry.query : entry.command)(context);
        } catch (const ScpiError& e) {
            error = e.code;
            status.ReportError(error);
        }
        instrument_.Update();
        ApplyInjection(*id);
        afterEach_();
        if (IsCommandError(error)) break;
        if (error == 0 && id->query) responses.push_back(Response{*id, std::move(context.reply)});
    }
    return responses;
}

std::optional<CommandId> Engine::Resolve(std::string_view header) const {
    const auto parsed = ParseHeader(header);
    if (!parsed) return std::nullopt;
    return Find(*parsed);
}

void Engine::InjectEsrAfter(CommandId id, int bits) {
    esrInjections_[id] |= bits;
}

void Engine::ApplyInjection(CommandId id) {
    const auto found = esrInjections_.find(id);
    if (found == esrInjections_.end()) return;
    StatusSystem& status = instrument_.status();
    static constexpr struct {
        int bit;
        int code;
    } kClasses[] = {{kEsrQueryError, -400},
                    {kEsrDeviceError, -300},
                    {kEsrExecutionError, -200},
                    {kEsrCommandError, -100}};
    for (const auto& errorClass : kClasses) {
        if ((found->second & errorClass.bit) != 0) status.errors.Push(errorClass.code);
    }
    status.esr |= found->second;
}

std::string JoinResponses(const std::vector<std::string>& texts) {
    std::string joined;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i != 0) joined += ';';
        joined += texts[i];
    }
    joined += '\n';
    return joined;
}

}  // namespace qmdc::emu
