// What the exporter answers, apart from the server that carries it, so that
// it can be tested and fuzzed without a socket:
//
//   GET /metrics   the supplies' latest readings (text format 0.0.4, or
//                  OpenMetrics when the Accept header asks for it)
//   GET /          a page that links to it
//
// Every request must name a host the exporter answers for (DNS rebinding)
// and, when a token is set, carry "Authorization: Bearer TOKEN". Nothing
// here changes a supply: GET and HEAD are all there is.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "metrics/supply_metrics.h"
#include "panel/panel_http.h"

namespace qmdc::cli::exporter {

using panel::HttpRequest;
using panel::HttpResponse;

struct ExporterAccess {
    std::string token;               // "" for none
    std::vector<std::string> hosts;  // Host values answered (http::AnsweredHosts); empty: any
};

class ExporterRoutes {
  public:
    using Snapshots = std::function<std::vector<metrics::SupplySnapshot>()>;
    ExporterRoutes(ExporterAccess access, Snapshots snapshots)
        : access_(std::move(access)), snapshots_(std::move(snapshots)) {}

    // The refusal of a request from its head alone (host, token, method),
    // or nullopt: the server asks before it reads a body.
    std::optional<HttpResponse> Refusal(const HttpRequest& head) const;
    // The answer; a request Refusal refuses gets that refusal.
    HttpResponse Handle(const HttpRequest& request) const;

  private:
    ExporterAccess access_;
    Snapshots snapshots_;
};

// The token in a token file: its first line, without surrounding blanks.
// Throws a Failure when the file cannot be read or the token is empty.
std::string ReadTokenFile(const std::string& path);

// The resources a file names, one a line without surrounding blanks; empty
// lines and lines starting with # are skipped. Throws a Failure when the
// file cannot be read or is beyond a size no list of supplies reaches.
std::vector<std::string> ReadResourcesFile(const std::string& path);

}  // namespace qmdc::cli::exporter
