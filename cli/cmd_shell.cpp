// qmdc shell: an interactive SCPI prompt on the supply.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "failure.h"
#include "line_reader.h"
#include "option_checks.h"
#include "scpi_shell.h"
#include "standard_output.h"
#include "subcommands.h"

namespace qmdc::cli {
namespace {

constexpr const char* kPrompt = "qmdc> ";

struct ShellCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    int timeoutMs = 0;
    CLI::Option* timeoutOption = nullptr;
    explicit ShellCommand(CLI::App& command)
        : arguments(command, connection, StatusCheck::AsConfigured, Simulation::Refused) {}
};

std::string Trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

bool IsExit(const std::string& line) {
    return line == "exit" || line == "quit";
}

std::string Identity(const DriverSession& session) {
    return session.Text(QMDC_ATTR_INSTRUMENT_MANUFACTURER, "manufacturer") + " " +
           session.Text(QMDC_ATTR_INSTRUMENT_MODEL, "model");
}

}  // namespace

Runner DefineShell(CLI::App& command) {
    auto shell = std::make_shared<ShellCommand>(command);
    shell->timeoutOption = command
                               .add_option("--timeout", shell->timeoutMs,
                                           "how long to wait for an answer, ms (default: the "
                                           "driver's I/O timeout)")
                               ->type_name("MS")
                               ->check(WholeNumberBetween(1, 3600000));
    command.footer(
        "A line with '?' is a query and prints the answer; after every line the errors it caused "
        "(read with SYST:ERR?) are printed on stderr against it (\"VOLT 99: error -222,...\"). "
        "Lines can be edited; the history is kept in ~/.qmdc_history; Ctrl-C discards the line "
        "being typed. 'exit', 'quit' or Ctrl-D ends the shell. Without a terminal the lines are "
        "read from standard input, without prompt. Exit status 1 when any line failed (an "
        "instrument error, a timeout) or the connection was lost, which ends the shell. The "
        "shell needs an instrument: it cannot be simulated.\n"
        "Example: qmdc shell TCPIP0::127.0.0.1::5025::SOCKET");
    return [shell] {
        shell->arguments.Settle();
        const DriverSession session(shell->connection);
        // A logical name may simulate: direct I/O refuses here, at once.
        ViInt32 timeout = 0;
        session.Check(
            QmDC_GetAttributeViInt32(session.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, &timeout),
            "direct I/O");
        if (shell->timeoutOption->count() > 0) {
            session.Check(QmDC_SetAttributeViInt32(session.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT,
                                                   shell->timeoutMs),
                          "I/O timeout");
        }
        LineReader reader(kPrompt, DefaultHistoryFile());
        if (reader.interactive()) {
            StandardOutput().Line(Identity(session) + " on " + shell->connection.resource +
                                  ". 'exit' or Ctrl-D ends.");
        }
        ScpiShell scpi(session, std::cout, std::cerr);
        while (const auto line = reader.Next()) {
            const std::string text = Trimmed(*line);
            if (IsExit(text)) break;
            if (!text.empty() && !scpi.Execute(text)) return int(kFailure);
        }
        return int(scpi.anyFailed() ? kFailure : kSuccess);
    };
}

}  // namespace qmdc::cli
