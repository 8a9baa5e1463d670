// qmdc exporter: reads supplies at an interval and serves their readings as
// Prometheus metrics (GET /metrics) until Ctrl-C. It only reads.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "exporter/exporter_routes.h"
#include "exporter/metrics_http.h"
#include "exporter/supply_reader.h"
#include "failure.h"
#include "http/listen_address.h"
#include "interrupt.h"
#include "option_checks.h"
#include "panel/access_policy.h"
#include "subcommands.h"
#include "supply_arguments.h"

namespace qmdc::cli {
namespace {

// The exporter's own port, so that a scrape job names it once for good.
constexpr int kDefaultPort = 9923;

struct ExporterCommand {
    SupplyArguments supplies;
    std::string bind = "127.0.0.1";
    int port = kDefaultPort;
    double interval = 5.0;
    std::string tokenFile;
    std::string resourcesFile;
    std::vector<std::string> allowHosts;
    explicit ExporterCommand(CLI::App& command) : supplies(command, StatusCheck::AsConfigured) {}
};

std::vector<ConnectionOptions> Connections(const ExporterCommand& command) {
    std::vector<ConnectionOptions> connections = command.supplies.Connections();
    if (!command.resourcesFile.empty()) {
        for (ConnectionOptions& connection :
             command.supplies.ConnectionsTo(exporter::ReadResourcesFile(command.resourcesFile))) {
            connections.push_back(std::move(connection));
        }
    }
    if (connections.empty()) connections = command.supplies.ConnectionsOrStoreSessions();
    for (ConnectionOptions& connection : connections) {
        connection.options = exporter::ReadOnlyOptions(connection.options);
    }
    return connections;
}

int RunExporter(const ExporterCommand& command) {
    const std::vector<ConnectionOptions> connections = Connections(command);
    exporter::ExporterAccess access;
    if (!command.tokenFile.empty()) access.token = exporter::ReadTokenFile(command.tokenFile);
    const InterruptScope interrupts;
    std::vector<std::unique_ptr<exporter::SupplyReader>> readers;
    for (const ConnectionOptions& connection : connections) {
        readers.push_back(std::make_unique<exporter::SupplyReader>(connection, command.interval));
    }
    const auto snapshots = [&readers] {
        std::vector<metrics::SupplySnapshot> all;
        for (const auto& reader : readers) all.push_back(reader->Snapshot());
        return all;
    };
    // The routes need the port for the Host check; the server listens first.
    exporter::MetricsHttpServer server(command.bind, command.port);
    access.hosts = http::AnsweredHosts(command.bind, server.port(), command.allowHosts);
    const exporter::ExporterRoutes routes(access, snapshots);
    server.Start([&routes](const panel::HttpRequest& head) { return routes.Refusal(head); },
                 [&routes](const panel::HttpRequest& request) { return routes.Handle(request); });
    for (const std::string& url : server.Urls("/metrics")) std::cout << url << "\n";
    std::cout << std::flush;
    // Ctrl-C may reach any of the threads: the flag is looked at often.
    while (SleepUnlessInterrupted(0.25)) {
    }
    server.Stop();
    return kSuccess;
}

}  // namespace

Runner DefineExporter(CLI::App& command) {
    auto exporter = std::make_shared<ExporterCommand>(command);
    command
        .add_option("--interval", exporter->interval,
                    "seconds from one reading of a supply to the next (0.1 to 3600)")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->check(NumberBetween(0.1, 3600.0));
    command.add_option("--bind", exporter->bind,
                       "listen on this address instead of 127.0.0.1 (0.0.0.0: all; the "
                       "machine's addresses are printed)");
    command
        .add_option("--allow-host", exporter->allowHosts,
                    "also answer requests that name this host (NAME or NAME:PORT; repeatable), "
                    "e.g. the name Prometheus scrapes this machine by")
        ->type_name("NAME")
        ->check(HostName());
    command
        .add_option("--port", exporter->port,
                    "TCP port (default " + std::to_string(kDefaultPort) + "; 0: one that is free)")
        ->type_name("PORT")
        ->check(WholeNumberBetween(0, 65535));
    command
        .add_option("--token-file", exporter->tokenFile,
                    "require \"Authorization: Bearer TOKEN\" with the token in FILE (its first "
                    "line)")
        ->type_name("FILE");
    command
        .add_option("--resources-file", exporter->resourcesFile,
                    "read RESOURCEs from FILE too, one a line (# starts a comment)")
        ->type_name("FILE");
    command.footer(
        "Without RESOURCE (and without --simulate) the exporter reads every driver session of "
        "this driver the IVI configuration store names. Each supply is read on its own driver "
        "session, without a reset, the status check or the cache; a scrape answers from the "
        "latest readings and never waits on a supply. A supply that cannot be read has "
        "qmdc_up 0 and no readings until it answers again. It prints the metrics' address "
        "and serves until Ctrl-C; the supplies are left as they are.\n"
        "Example: qmdc exporter PSU1 PSU2 --interval 1");
    return [exporter] { return RunExporter(*exporter); };
}

}  // namespace qmdc::cli
