// qmdc panel: a soft front panel in the browser for one supply or a rack of
// them, served on the loopback address until Ctrl-C.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <optional>

#include "failure.h"
#include "interrupt.h"
#include "option_checks.h"
#include "http/listen_address.h"
#include "panel/browser_opening.h"
#include "panel/panel_server.h"
#include "subcommands.h"
#include "supply_arguments.h"

namespace qmdc::cli {
namespace {

struct PanelCommand {
    SupplyArguments supplies;
    std::string bind = "127.0.0.1";
    std::vector<std::string> allowHosts;
    int port = 0;
    double rate = 4.0;
    double chartMinutes = 10.0;
    bool open = false;
    explicit PanelCommand(CLI::App& command) : supplies(command, StatusCheck::AfterEachOperation) {}
};

int RunPanel(const PanelCommand& command) {
    const std::vector<ConnectionOptions> connections =
        command.supplies.ConnectionsOrStoreSessions();
    panel::WorkerSettings settings;
    settings.rateHz = command.rate;
    settings.chartSeconds = command.chartMinutes * 60.0;
    const InterruptScope interrupts;
    panel::SupplyRack rack(connections, settings);
    panel::PanelServer server(rack, command.bind, command.port, command.allowHosts);
    const std::vector<std::string> urls = server.Urls();
    for (const std::string& url : urls) std::cout << url << "\n";
    std::cout << std::flush;
    if (!http::IsLoopback(command.bind) || !command.allowHosts.empty()) {
        std::cerr << "qmdc: the address holds the panel's token: anyone who has it can drive "
                     "the supplies"
                  << std::endl;
    }
    std::optional<panel::BrowserOpening> browser;
    if (command.open) browser.emplace(urls.front());
    // Ctrl-C may reach any of the threads: the flag is looked at often.
    while (SleepUnlessInterrupted(0.25)) {
        if (browser) browser->Tick();
    }
    server.Stop();
    return kSuccess;
}

}  // namespace

Runner DefinePanel(CLI::App& command) {
    auto panel = std::make_shared<PanelCommand>(command);
    command
        .add_option("--bind", panel->bind,
                    "listen on this address instead of 127.0.0.1 (0.0.0.0: all; the "
                    "machine's addresses are printed)")
        ->type_name("ADDRESS");
    command
        .add_option("--allow-host", panel->allowHosts,
                    "also answer requests that name this host (NAME or NAME:PORT; repeatable), "
                    "e.g. the machine's DNS name")
        ->type_name("NAME")
        ->check(HostName());
    command.add_option("--port", panel->port, "TCP port (default: one that is free)")
        ->type_name("PORT")
        ->check(WholeNumberBetween(0, 65535));
    command
        .add_option("--rate", panel->rate,
                    "readings of each supply per second (0.1 to 50); the pages get what changed "
                    "five times a second")
        ->type_name("PER_SECOND")
        ->capture_default_str()
        ->check(NumberBetween(0.1, 50.0));
    command
        .add_option("--chart-minutes", panel->chartMinutes,
                    "how far back the chart goes, in minutes (0.1 to 1440)")
        ->type_name("MINUTES")
        ->capture_default_str()
        ->check(NumberBetween(0.1, 1440.0));
    command.add_flag("--open", panel->open, "open the page in the desktop's browser");
    command.footer(
        "Without RESOURCE (and without --simulate) the panel opens every driver session of "
        "this driver the IVI configuration store names. It prints the page's address, with a "
        "random token every request must carry, and serves until Ctrl-C; the supplies are "
        "left as they are. Changes are made only by POST from the panel's own page (Origin "
        "checked); each is checked by the driver, and the instrument's status after it "
        "(QueryInstrStatus=1), so a refusal shows the driver's or instrument's message.\n"
        "Example: qmdc panel TCPIP0::127.0.0.1::5025::SOCKET --rate 5 --open");
    return [panel] { return RunPanel(*panel); };
}

}  // namespace qmdc::cli
