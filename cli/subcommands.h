// The tool's subcommands, one row each: main() adds them to the command line
// in this order, and each row's define() adds its arguments and returns what
// runs it once the command line is parsed.
#pragma once

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace qmdc::cli {

// Runs a parsed subcommand; returns the exit status or throws a Failure.
using Runner = std::function<int()>;

struct Subcommand {
    const char* name;
    const char* summary;
    Runner (*define)(CLI::App& command);
};

const std::vector<Subcommand>& Subcommands();

Runner DefineInfo(CLI::App& command);
Runner DefineAttributes(CLI::App& command);
Runner DefineGet(CLI::App& command);
Runner DefineSet(CLI::App& command);
Runner DefineMeasure(CLI::App& command);
Runner DefineSweep(CLI::App& command);
Runner DefineShell(CLI::App& command);
Runner DefineList(CLI::App& command);
Runner DefineLog(CLI::App& command);
Runner DefinePanel(CLI::App& command);
Runner DefineExporter(CLI::App& command);

}  // namespace qmdc::cli
