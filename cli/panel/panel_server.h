// The panel on the tool's HTTP server: every request goes through the access
// policy before its body is read, then through PanelRoutes, except the event
// stream, which a page opens once: it is sent the whole state, then one
// thread sends every page each tick's changes after what it has seen
// (SupplyRack::EventsSince).
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/http_server.h"
#include "panel/access_policy.h"
#include "panel/panel_routes.h"
#include "panel/supply_rack.h"

namespace qmdc::cli::panel {

class PanelServer : private http::Service {
  public:
    // Listens at once (port 0: one the kernel picks) and serves; throws a
    // Failure when it cannot. allowedHosts: names besides the address that
    // the panel answers for (see http::AnsweredHosts).
    PanelServer(SupplyRack& rack, const std::string& address, int port,
                const std::vector<std::string>& allowedHosts = {}, http::ServerLimits limits = {});
    ~PanelServer() override;

    int port() const { return server_.port(); }
    // http://HOST:PORT/?token=... for each address the panel can be reached
    // by, then for each allowed name.
    std::vector<std::string> Urls() const;
    void Stop();

  private:
    std::optional<HttpResponse> Admit(const HttpRequest& head) override;
    HttpResponse Handle(const HttpRequest& request) override;
    void Publish();

    SupplyRack& rack_;
    http::HttpServer server_;
    std::vector<std::string> allowedHosts_;
    AccessPolicy policy_;
    PanelRoutes routes_;
    std::thread publisher_;
};

}  // namespace qmdc::cli::panel
