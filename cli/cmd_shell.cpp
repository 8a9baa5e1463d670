// qmdc shell: an interactive SCPI prompt on the supply.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "failure.h"
#include "line_reader.h"
#include "scpi_shell.h"
#include "subcommands.h"

namespace qmdc::cli {
namespace {

constexpr const char* kPrompt = "qmdc> ";

struct ShellCommand {
    ConnectionOptions connection;
    SessionArguments arguments;
    int timeoutMs = 0;
    CLI::Option* timeoutOption = nullptr;
    explicit ShellCommand(CLI::App& command) : arguments(command, connection) {}
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
                               ->check(CLI::Range(1, 3600000));
    command.footer(
        "A line with '?' is a query and prints the answer; any other line is a command and "
        "prints the errors it caused (read with SYST:ERR?). Lines can be edited; the history is "
        "kept in ~/.qmdc_history. 'exit', 'quit' or Ctrl-D ends the shell. Without a terminal "
        "the lines are read from standard input, without prompt.\n"
        "Example: qmdc shell TCPIP0::127.0.0.1::5025::SOCKET");
    return [shell] {
        shell->arguments.Settle();
        const DriverSession session(shell->connection);
        // Direct I/O needs an instrument: a simulated session refuses here, at once.
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
            std::cout << Identity(session) << " on " << shell->connection.resource
                      << ". 'exit' or Ctrl-D ends." << std::endl;
        }
        ScpiShell scpi(session, std::cout, std::cerr);
        while (const auto line = reader.Next()) {
            const std::string text = Trimmed(*line);
            if (IsExit(text)) break;
            if (!text.empty()) scpi.Execute(text);
        }
        return int(kSuccess);
    };
}

}  // namespace qmdc::cli
