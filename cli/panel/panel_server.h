// The panel's HTTP server (cpp-httplib): every request goes through
// PanelRoutes, except the event stream, which sends a page the whole state
// and then each tick's changes (SupplyRack::EventsSince).
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "panel/access_policy.h"
#include "panel/panel_routes.h"
#include "panel/supply_rack.h"

namespace httplib {
class Server;
}

namespace qmdc::cli::panel {

class PanelServer {
  public:
    // Binds at once (port 0: one the kernel picks); throws a Failure when it cannot.
    PanelServer(SupplyRack& rack, const std::string& address, int port);
    ~PanelServer();

    int port() const { return port_; }
    // http://ADDRESS:PORT/?token=...
    std::string Url() const;
    void Stop();

  private:
    SupplyRack& rack_;
    std::string address_;
    int port_ = 0;
    std::unique_ptr<AccessPolicy> policy_;
    std::unique_ptr<PanelRoutes> routes_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

}  // namespace qmdc::cli::panel
